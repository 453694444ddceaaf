#include "cleanup/RegistryCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace RegistryCommand {
namespace {

const char *const systemTrees[] = {"/usr",   "/bin",   "/sbin",   "/lib",
                                   "/lib32", "/lib64", "/libx32", "/etc"};

// Both canonical: path is folder or lies below it.
bool within(const QString &path, const QString &folder) {
  return path == folder ||
         path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + '/');
}

QStringList systemFolders() {
  QStringList folders;
  for (const char *tree : systemTrees)
    folders.append(QString::fromLatin1(tree));
  folders += qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
  QStringList resolved;
  for (const QString &folder : folders) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty())
      resolved.append(canonical);
  }
  return resolved;
}

UninstallAction refused(const char *reason) {
  UninstallAction action;
  action.kind = UninstallAction::Kind::Refused;
  action.refusal = QLatin1String(reason);
  return action;
}

} // namespace

CommandLine split(const QString &command) {
  if (command.startsWith(QLatin1Char('"'))) {
    const int closing = command.indexOf(QLatin1Char('"'), 1);
    if (closing > 1)
      return {command.mid(1, closing - 1), command.mid(closing + 1).trimmed()};
  }
  // Installers write unquoted paths with spaces too; such a path is whole.
  const int space = command.indexOf(QLatin1Char(' '), 1);
  if (space < 0 || QFileInfo(command).isFile())
    return {command, QString()};
  return {command.left(space), command.mid(space + 1).trimmed()};
}

UninstallAction actionFor(const QString &uninstallString, const QString &installLocation) {
  const CommandLine line = split(uninstallString.trimmed());
  const QString program =
      QDir::isAbsolutePath(line.program) ? QFileInfo(line.program).canonicalFilePath() : QString();
  if (program.isEmpty() || !QFileInfo(program).isFile() || !QFileInfo(program).isExecutable())
    return refused("its program is no program file");
  const QString location = installLocation.trimmed().isEmpty()
                               ? QString()
                               : QFileInfo(installLocation.trimmed()).canonicalFilePath();
  if (location.isEmpty() || !QFileInfo(location).isDir() || !within(program, location))
    return refused("its program is not inside its install location");
  if (location == QLatin1String("/") || location == QFileInfo(QDir::homePath()).canonicalFilePath())
    return refused("its install location is no installation's own folder");
  for (const QString &system : systemFolders()) {
    if (within(location, system) || within(system, location))
      return refused("its install location holds the system's programs");
  }
  UninstallAction action;
  action.kind = UninstallAction::Kind::Command;
  action.command = QStringList{program} + QProcess::splitCommand(line.parameters);
  return action;
}

} // namespace RegistryCommand
