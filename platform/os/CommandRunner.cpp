#include "platform/os/CommandRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Variables through which the engine sets itself up: a started program must
// not open our inspector port or take the switches our engine chose.
bool isEngineVariable(const char *entry) {
  static const char *const names[] = {"TIDEWELL_ENGINE_INSPECTOR_PORT",
                                      "QTWEBENGINE_REMOTE_DEBUGGING", "QTWEBENGINE_CHROMIUM_FLAGS"};
  for (const char *name : names) {
    const size_t length = std::strlen(name);
    if (std::strncmp(entry, name, length) == 0 && entry[length] == '=')
      return true;
  }
  return false;
}

// Everything the child needs, built before the fork: after it, only calls
// that are safe in the child of a threaded process.
struct Start {
  QByteArray executable;
  QByteArray folder;
  std::vector<QByteArray> arguments;
  std::vector<char *> argv;
  std::vector<char *> envp;
  int maxDescriptor = 0;
};

[[noreturn]] void reportAndExit(int errorPipe, int error) {
  while (::write(errorPipe, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// Runs in the forked child: detaches a grandchild that becomes the program.
[[noreturn]] void startGrandchild(const Start &start, int errorPipe) {
  ::setsid();
  const pid_t grandchild = ::fork();
  if (grandchild < 0)
    reportAndExit(errorPipe, errno);
  if (grandchild > 0)
    ::_exit(0);

  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  for (int number = 1; number < NSIG; ++number)
    ::sigaction(number, &standard, nullptr);

  if (!start.folder.isEmpty() && ::chdir(start.folder.constData()) != 0)
    reportAndExit(errorPipe, errno);
  // Everything above 2 closes at exec; the error pipe stays open until then.
  if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < start.maxDescriptor; ++fd)
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  ::execve(start.executable.constData(), start.argv.data(), start.envp.data());
  reportAndExit(errorPipe, errno);
}

} // namespace

namespace CommandRunner {

CommandResult run(const QString &program, const QStringList &arguments, int timeoutMs,
                  const QString &inputFile) {
  CommandResult result;
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(inputFile.isEmpty() ? QProcess::nullDevice() : inputFile);
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
                   const QString &workingFolder) {
  // A bare name is looked up in PATH; a path is taken from our own folder.
  const QString executable = program.contains(QLatin1Char('/'))
                                 ? QFileInfo(program).absoluteFilePath()
                                 : QStandardPaths::findExecutable(program);
  if (executable.isEmpty())
    return false;

  Start start;
  start.executable = QFile::encodeName(executable);
  start.folder = QFile::encodeName(workingFolder);
  start.arguments.push_back(QFile::encodeName(program));
  for (const QString &argument : arguments)
    start.arguments.push_back(QFile::encodeName(argument));
  for (QByteArray &argument : start.arguments)
    start.argv.push_back(argument.data());
  start.argv.push_back(nullptr);
  for (char **entry = environ; entry && *entry; ++entry) {
    if (!isEngineVariable(*entry))
      start.envp.push_back(*entry);
  }
  start.envp.push_back(nullptr);
  struct rlimit limit = {};
  start.maxDescriptor = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                            ? int(limit.rlim_cur)
                            : 65536;

  int errorPipe[2];
  if (::pipe2(errorPipe, O_CLOEXEC) != 0)
    return false;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(errorPipe[0]);
    startGrandchild(start, errorPipe[1]);
  }
  ::close(errorPipe[1]);
  if (child < 0) {
    ::close(errorPipe[0]);
    return false;
  }
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes unread at a successful exec; a failure sends its errno.
  int error = 0;
  ssize_t length;
  while ((length = ::read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(errorPipe[0]);
  return length == 0;
}

} // namespace CommandRunner
