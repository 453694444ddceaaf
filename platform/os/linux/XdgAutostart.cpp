#include "platform/os/linux/XdgAutostart.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace XdgAutostart {
namespace {

const QString autostart = QStringLiteral("/autostart");

// The folders of an XDG variable; relative ones are ignored, as the base
// directory rules say.
QStringList absoluteFolders(const QByteArray &variable) {
  QStringList folders;
  for (const QString &folder :
       QString::fromLocal8Bit(qgetenv(variable.constData())).split(QLatin1Char(':'))) {
    if (QDir::isAbsolutePath(folder))
      folders.append(QDir::cleanPath(folder));
  }
  return folders;
}

// As launchers look a program up: a name with a slash is a path, any other
// name is searched in $PATH.
bool programExists(const QString &program) {
  if (program.isEmpty())
    return false;
  if (!program.contains(QLatin1Char('/')))
    return !QStandardPaths::findExecutable(program).isEmpty();
  const QFileInfo file(program);
  return file.isFile() && file.isExecutable();
}

bool sharesDesktop(const QStringList &desktops, const QStringList &current) {
  return std::any_of(desktops.cbegin(), desktops.cend(),
                     [&](const QString &desktop) { return current.contains(desktop); });
}

} // namespace

QString userFolder() {
  const QStringList home = absoluteFolders("XDG_CONFIG_HOME");
  const QString config = home.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : home[0];
  return config + autostart;
}

QStringList machineFolders() {
  QStringList folders = absoluteFolders("XDG_CONFIG_DIRS");
  if (folders.isEmpty())
    folders.append(QStringLiteral("/etc/xdg"));
  for (QString &folder : folders)
    folder += autostart;
  folders.removeDuplicates();
  return folders;
}

QStringList searchOrder() {
  QStringList folders = machineFolders();
  folders.removeAll(userFolder());
  folders.prepend(userFolder());
  return folders;
}

QStringList entryNames(const QString &folder) {
  return QDir(folder).entryList({QStringLiteral("*.desktop")},
                                QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Name);
}

QString winningFolder(const QString &name) {
  for (const QString &folder : searchOrder()) {
    if (QFileInfo(folder + QLatin1Char('/') + name).isFile())
      return folder;
  }
  return QString();
}

EntryState entryState(const DesktopEntry &entry) {
  if (entry.value(QStringLiteral("Type")) != QLatin1String("Application"))
    return EntryState::NotApplication;
  if (entry.boolean(QStringLiteral("Hidden")).value_or(false))
    return EntryState::Hidden;
  const QStringList current =
      QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'));
  if ((entry.contains(QStringLiteral("OnlyShowIn")) &&
       !sharesDesktop(entry.list(QStringLiteral("OnlyShowIn")), current)) ||
      sharesDesktop(entry.list(QStringLiteral("NotShowIn")), current))
    return EntryState::OtherDesktop;
  if ((entry.contains(QStringLiteral("TryExec")) &&
       !programExists(entry.value(QStringLiteral("TryExec")))) ||
      !programExists(program(entry)))
    return EntryState::ProgramMissing;
  // gnome-session's own switch, written by desktops that turn an entry off.
  if (!entry.boolean(QStringLiteral("X-GNOME-Autostart-enabled")).value_or(true))
    return EntryState::SwitchedOff;
  return EntryState::Starts;
}

QString program(const DesktopEntry &entry) {
  const auto exec = entry.execArguments();
  return exec && !exec->isEmpty() ? exec->first() : QString();
}

bool wouldStart(const DesktopEntry &entry) {
  return entryState(entry) == EntryState::Starts;
}

bool wouldStart(const QString &path) {
  const auto entry = DesktopEntry::load(path);
  return entry && wouldStart(*entry);
}

} // namespace XdgAutostart
