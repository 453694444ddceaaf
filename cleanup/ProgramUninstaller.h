#pragma once
// Starts the removal of one listed program, never through a shell and never
// waiting for it to finish.
#include "cleanup/InstalledProgram.h"
#include "cleanup/PackageRemoval.h"

class ProgramUninstaller {
public:
  explicit ProgramUninstaller(PackageRemoval packages);

  // command: the program's uninstall string, trimmed and not empty.
  bool start(const QString &command, const UninstallAction &action);

private:
  bool startCommand(const QString &command, const UninstallAction &action);
  bool removePackage(const UninstallAction &action);
  bool startTool(const UninstallAction &action);
  bool removeAppImage(const UninstallAction &action);

  PackageRemoval packages_;
};
