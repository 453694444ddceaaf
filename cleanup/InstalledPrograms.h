#pragma once
// The installed-programs methods of the script object: one list from the
// uninstall registrations, Debian packages, Flatpak, Snap and AppImages, and
// the removal of a program of that list (and of nothing else).
#include <QHash>
#include <QString>
#include <memory>

#include "cleanup/InstalledProgram.h"
#include "cleanup/ProgramRoots.h"

class Registry;

class InstalledPrograms {
public:
  InstalledPrograms(); // this machine and the current user's registry
  // packageKitBus: the bus address PackageKit is reached on; empty: the system bus.
  InstalledPrograms(std::shared_ptr<Registry> registry, ProgramRoots roots,
                    QString packageKitBus = QString());
  ~InstalledPrograms();

  QString getInstalledPrograms();
  bool uninstallProgram(const QString &command);

private:
  std::shared_ptr<Registry> registry_;
  ProgramRoots roots_;
  QString packageKitBus_;
  // The uninstall strings of the latest listing: the only commands started.
  QHash<QString, UninstallAction> listed_;
};
