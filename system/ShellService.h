#pragma once
// Desktop launchers (shortcuts), the desktop folder and the folder picker.
#include <QString>
#include <memory>
#include <optional>

#include "platform/os/ShellApi.h"

class ShellService {
public:
  ShellService();
  explicit ShellService(std::shared_ptr<ShellApi> shell);

  QString getDesktopPath();
  bool createDesktopShortcut(const QString &appName, const QString &exePath, const QString &cmdLine,
                             const QString &appIcon);
  QString selectFolder(const QString &title, const QString &path);

private:
  static Launcher launcherFor(const QString &appName, const QString &startAppPath,
                              const QString &addCmdLine, const QString &iconPath);
  void addToMenu(const QString &appName, const Launcher &launcher);
  // The launcher written, or nothing when it could not be.
  std::optional<Launcher> createLinkFile(const QString &appName, const QString &startAppPath,
                                         const QString &addCmdLine, const QString &destLnkPath,
                                         const QString &iconPath);

  std::shared_ptr<ShellApi> shell_;
};
