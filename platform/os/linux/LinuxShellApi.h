#pragma once
// The XDG desktop folder, desktop-entry launchers and Qt's folder dialog.
#include "platform/os/ShellApi.h"

class LinuxShellApi : public ShellApi {
public:
  FolderQuery desktopFolder() const override;
  QString launcherSuffix() const override;
  bool writeLauncher(const QString &path, const Launcher &launcher) const override;
  QString applicationMenuFolder() const override;
  bool markTrusted(const QString &path) const override;
  QString pickFolder(const QString &caption, const QString &start) const override;
};
