#include "system/ShellService.h"

#include <QDir>
#include <QFileInfo>

#include "base/catalogue/Constants.h"
#include "base/log/Log.h"
#include "platform/os/OsPlatform.h"

ShellService::ShellService() : ShellService(OsPlatform::shell()) {}

ShellService::ShellService(std::shared_ptr<ShellApi> shell) : shell_(std::move(shell)) {}

QString ShellService::getDesktopPath() {
  const ShellApi::FolderQuery desktop = shell_->desktopFolder();
  Log::info("SysUtil", "desktop folder query result={:x}", desktop.status);
  Log::info("SysUtil", "desktop folder path result={}", desktop.path.isEmpty() ? 0 : 1);
  Log::info("SysUtil", "GetDesktopPath={}", desktop.path.toStdString());
  return desktop.path;
}

bool ShellService::createDesktopShortcut(const QString &appName, const QString &exePath,
                                         const QString &cmdLine, const QString &appIcon) {
  Log::info("SysUtil", "CreateDesktopShortcut. appName={} exePath={} cmdLine={} appIcon={}",
            appName.toStdString(), exePath.toStdString(), cmdLine.toStdString(),
            appIcon.toStdString());
  const ShellApi::FolderQuery desktop = shell_->desktopFolder();
  Log::info("SysUtil", "desktop folder query result={:x}", desktop.status);
  if (desktop.status < 0) {
    // Many Linux homes have no desktop folder: the menu entry is then the
    // only way to start the application, so it is made all the same.
    addToMenu(appName, launcherFor(appName, exePath, cmdLine, appIcon));
    return false;
  }
  const QString lnkPath = desktop.path + QDir::separator() + appName + shell_->launcherSuffix();
  Log::info("SysUtil", "lnkPath={}", lnkPath.toStdString());
  const std::optional<Launcher> launcher =
      createLinkFile(appName, exePath, cmdLine, lnkPath, appIcon);
  if (!launcher)
    return false;
  if (shell_->markTrusted(lnkPath))
    Log::info("SysUtil", "marked trusted: {}", lnkPath.toStdString());
  addToMenu(appName, *launcher);
  return true;
}

void ShellService::addToMenu(const QString &appName, const Launcher &launcher) {
  // The same launcher in the application menu, removed with the desktop one.
  const QString menu = shell_->applicationMenuFolder();
  if (menu.isEmpty() || !QDir().mkpath(menu))
    return;
  const QString menuPath = menu + QDir::separator() + appName + shell_->launcherSuffix();
  const bool written = shell_->writeLauncher(menuPath, launcher);
  Log::info("SysUtil", "menu entry {} {}", menuPath.toStdString(), written ? "written" : "failed");
}

namespace {

// What the launcher says of the application, and in other languages by
// desktop locale.
const char *launcherComment = "Free disk space: large and duplicate files, caches and traces";
const QMap<QString, QString> &localLauncherComments() {
  static const QMap<QString, QString> comments{
      {"zh_CN", QString::fromUtf8("清理磁盘空间，释放存储")}};
  return comments;
}

} // namespace

Launcher ShellService::launcherFor(const QString &appName, const QString &startAppPath,
                                   const QString &addCmdLine, const QString &iconPath) {
  const int separator = startAppPath.lastIndexOf(QDir::separator());
  const QString workDir = separator < 0 ? QString() : startAppPath.left(separator);
  // The windows' class is the program's file name, which is what Qt names
  // it after; the desktop groups the running windows under the launcher.
  Launcher launcher{appName,
                    startAppPath,
                    addCmdLine,
                    workDir,
                    iconPath.isEmpty() ? startAppPath : iconPath,
                    QString::fromUtf8(launcherComment),
                    QStringLiteral("Utility;"),
                    QFileInfo(startAppPath).fileName(),
                    {},
                    localLauncherComments()};
  // Our own name in any language gives the launcher every language's name.
  const QMap<QString, QString> &names = Constants::localApplicationNames();
  if (appName == Constants::applicationName() || names.values().contains(appName)) {
    launcher.name = Constants::applicationName();
    launcher.localNames = names;
  }
  return launcher;
}

std::optional<Launcher> ShellService::createLinkFile(const QString &appName,
                                                     const QString &startAppPath,
                                                     const QString &addCmdLine,
                                                     const QString &destLnkPath,
                                                     const QString &iconPath) {
  Log::info("SysUtil",
            "CreateLinkFile. szStartAppPath={} szAddCmdLine={} szDestLnkPath={} szIconPath={}",
            startAppPath.toStdString(), addCmdLine.toStdString(), destLnkPath.toStdString(),
            iconPath.toStdString());
  const Launcher launcher = launcherFor(appName, startAppPath, addCmdLine, iconPath);
  Log::info("SysUtil", "work dir={}", launcher.workingFolder.toStdString());
  if (!shell_->writeLauncher(destLnkPath, launcher))
    return std::nullopt;
  return launcher;
}

QString ShellService::selectFolder(const QString &title, const QString &path) {
  Log::info("NativeUtil", "select folder. title={} path={}", title.toStdString(),
            path.toStdString());
  return shell_->pickFolder(title, path);
}
