#include "cleanup/ProgramUninstaller.h"

#include <QFile>
#include <QFileInfo>

#include "base/log/Log.h"
#include "cleanup/RegistryCommand.h"
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
    return startCommand(command, action);
  case UninstallAction::Kind::Refused:
    Log::info("NativeUtil", "uninstall command refused, {}: {}", ansi(action.refusal),
              ansi(command));
    return false;
  case UninstallAction::Kind::DebianPackage:
    return removePackage(action);
  case UninstallAction::Kind::Sandboxed:
    return startTool(action);
  case UninstallAction::Kind::AppImage:
    return removeAppImage(action);
  }
  return false;
}

bool ProgramUninstaller::startCommand(const QString &command, const UninstallAction &action) {
  const QString program = action.command.value(0);
  Log::info("NativeUtil", "uninstall program. exe={} params={}", ansi(program),
            ansi(RegistryCommand::split(command).parameters));
  // Still the file the listing found, not a link put in its place since.
  const QFileInfo file(program);
  if (!file.isFile() || file.isSymLink())
    return false;
  return CommandRunner::startDetached(program, action.command.mid(1));
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
