#include "platform/os/linux/LinuxShellApi.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include "platform/os/linux/LauncherEntry.h"

ShellApi::FolderQuery LinuxShellApi::desktopFolder() const {
  const QString path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (path.isEmpty() || !QFileInfo(path).isDir())
    return {-ENOENT, QString()};
  return {0, path};
}

QString LinuxShellApi::launcherSuffix() const {
  return QStringLiteral(".desktop");
}

bool LinuxShellApi::writeLauncher(const QString &path, const Launcher &launcher) const {
  return LauncherEntry::write(path, launcher);
}

QString LinuxShellApi::pickFolder() const {
  // A dialog needs a widget application; without one there is nobody to ask.
  if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
    return QString();
  return QFileDialog::getExistingDirectory(nullptr);
}
