#pragma once
// Identity facts from sysfs and udev's database. All paths are read under a
// root folder ("/" normally) so a prepared tree can stand in for them.
#include "platform/os/IdentitySources.h"

class LinuxIdentitySources : public IdentitySources {
public:
  explicit LinuxIdentitySources(QString root = QStringLiteral("/"));

  QString systemDiskSerial() const override;
  // DMI files are usually readable by root only: a serial that only some
  // users can read would give them different identities, so it counts only
  // when the file is readable by all.
  QString boardSerial() const override;
  // Adapters in index order; only those with a device behind them (virtual
  // ones have none) and a permanent address (addr_assign_type 0, never a
  // random or stolen one).
  QString adapterAddress() const override;

private:
  QString path(const QString &relative) const;

  QString root_;
};
