#include "cleanup/ProgramUninstaller.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "base/log/Log.h"
#include "platform/os/CommandRunner.h"

namespace {

std::string ansi(const QString &text) {
  return text.toLocal8Bit().toStdString();
}

} // namespace

ProgramUninstaller::ProgramUninstaller(PackageRemoval packages) : packages_(std::move(packages)) {}

bool ProgramUninstaller::start(const QString &command, const UninstallAction &action) {
  switch (action.kind) {
  case UninstallAction::Kind::Command:
    return startCommand(command);
  case UninstallAction::Kind::DebianPackage:
    return removePackage(action);
  case UninstallAction::Kind::Sandboxed:
    return startTool(action);
  case UninstallAction::Kind::AppImage:
    return removeAppImage(action);
  }
  return false;
}

ProgramUninstaller::CommandLine ProgramUninstaller::split(const QString &command) {
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

bool ProgramUninstaller::startCommand(const QString &command) {
  const CommandLine line = split(command);
  Log::info("NativeUtil", "uninstall program. exe={} params={}", ansi(line.program),
            ansi(line.parameters));
  return CommandRunner::startDetached(line.program, QProcess::splitCommand(line.parameters));
}

bool ProgramUninstaller::removePackage(const UninstallAction &action) {
  const QStringList removed = packages_.simulate(action.package);
  if (removed.isEmpty()) {
    Log::info("NativeUtil", "uninstall package {} refused: {}", ansi(action.package),
              ansi(packages_.refusal()));
    return false;
  }
  Log::info("NativeUtil", "uninstall package {} through PackageKit, removing {}",
            ansi(action.package), ansi(removed.join(QLatin1Char(' '))));
  const bool started = packages_.start(action.packageId);
  if (!started)
    Log::info("NativeUtil", "PackageKit did not start the removal of {}", ansi(action.package));
  return started;
}

bool ProgramUninstaller::startTool(const UninstallAction &action) {
  const QStringList arguments = action.command.mid(1);
  Log::info("NativeUtil", "uninstall program. exe={} params={}", ansi(action.command.value(0)),
            ansi(arguments.join(QLatin1Char(' '))));
  return CommandRunner::startDetached(action.command.value(0), arguments);
}

bool ProgramUninstaller::removeAppImage(const UninstallAction &action) {
  Log::info("NativeUtil", "uninstall AppImage {}", ansi(action.package));
  if (!QFile::remove(action.package))
    return false;
  for (const QString &entry : action.command)
    QFile::remove(entry);
  return true;
}
