#pragma once
// Storage facts from sysfs, procfs and udev's database. All paths are read
// under a root folder ("/" normally) so a prepared tree can stand in for them.
#include "platform/storage/StorageInfo.h"

class LinuxStorageInfo : public StorageInfo {
public:
  explicit LinuxStorageInfo(const QString &root = QStringLiteral("/"));

  DiskListing diskListing() override;
  QString boardSerialNumber() override;
  QVector<SwapArea> swapAreas() override;
  quint64 physicalMemoryBytes() override;
  bool volumeSpace(const QString &path, VolumeSpace &space) override;
  QVector<Volume> localVolumes() override;
  QString systemDiskSerialNumber() override;

  // A field of /proc/swaps or a mount table, whose space, tab, newline and
  // backslash stand as three octal digits.
  static QByteArray unescapeMountBytes(const QByteArray &field);

private:
  struct Mount {
    QString device; // "major:minor"
    QString root;
    QString mountPoint;
    QString fileSystem;
  };

  QString path(const QString &relative) const;
  QVector<Mount> mounts() const;
  QString rootDevice(const QVector<Mount> &all) const;
  QString sysfsDevice(const QString &device) const;
  QStringList physicalDisks(const QString &device) const;
  bool isRemovable(const QString &device) const;
  QString diskSerial(const QString &diskDir) const;

  QString root_;
};
