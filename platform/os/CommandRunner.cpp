#include "platform/os/CommandRunner.h"

#include <QProcess>

namespace CommandRunner {

CommandResult run(const QString &program, const QStringList &arguments, int timeoutMs) {
  CommandResult result;
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  process.start(QIODevice::ReadOnly);
  if (!process.waitForStarted())
    return result;
  result.started = true;
  result.finished = process.waitForFinished(timeoutMs);
  if (!result.finished) {
    process.kill();
    process.waitForFinished();
  }
  result.crashed = process.exitStatus() == QProcess::CrashExit;
  if (result.finished && !result.crashed)
    result.exitCode = process.exitCode();
  result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
  result.errorOutput = QString::fromLocal8Bit(process.readAllStandardError());
  return result;
}

bool startDetached(const QString &program, const QStringList &arguments,
                   const QString &workingFolder, qint64 *pid) {
  return QProcess::startDetached(program, arguments, workingFolder, pid);
}

} // namespace CommandRunner
