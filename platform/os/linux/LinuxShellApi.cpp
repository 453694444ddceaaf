#include "platform/os/linux/LinuxShellApi.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include "platform/os/CommandRunner.h"
#include "platform/os/linux/LauncherEntry.h"

namespace {
constexpr int trustTimeoutMs = 5000;
} // namespace

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

QString LinuxShellApi::applicationMenuFolder() const {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return data.isEmpty() ? QString() : data + QStringLiteral("/applications");
}

bool LinuxShellApi::markTrusted(const QString &path) const {
  // GNOME's desktop icons start an entry without asking only when it carries
  // this mark; desktops without gio have no such mark to set.
  const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
  if (gio.isEmpty())
    return false;
  return CommandRunner::run(gio,
                            {QStringLiteral("set"), path, QStringLiteral("metadata::trusted"),
                             QStringLiteral("true")},
                            trustTimeoutMs)
      .succeeded();
}

QString LinuxShellApi::pickFolder(const QString &caption, const QString &start) const {
  // A dialog needs a widget application; without one there is nobody to ask.
  if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
    return QString();
  return QFileDialog::getExistingDirectory(nullptr, caption,
                                           QFileInfo(start).isDir() ? start : QString());
}
