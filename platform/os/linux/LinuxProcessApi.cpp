#include "platform/os/linux/LinuxProcessApi.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Through syscall(): this C library's pidfd header lacks C linkage for C++.
int pidfdOpen(qint64 pid) {
  return int(::syscall(SYS_pidfd_open, pid_t(pid), 0u));
}

bool pidfdSignal(int fd, int signal) {
  return ::syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0u) == 0;
}

// The process's /proc folder; reads through it fail once the process is
// reaped, instead of reaching whatever takes over the pid.
int openProcFolder(qint64 pid) {
  return ::open(QByteArray("/proc/" + QByteArray::number(pid)).constData(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

QByteArray readAt(int folder, const char *name) {
  QByteArray content;
  const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return content;
  char buffer[4096];
  for (;;) {
    const ssize_t length = ::read(fd, buffer, sizeof buffer);
    if (length < 0 && errno == EINTR)
      continue;
    if (length <= 0)
      break;
    content.append(buffer, int(length));
  }
  ::close(fd);
  return content;
}

QString fileNameOf(const QByteArray &path) {
  return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

// The executable's file name: the exe link where it can be read, else
// argv[0]; never comm, which the kernel cuts at 15 characters.
QString exeNameIn(int procFolder) {
  char target[PATH_MAX];
  const ssize_t length = ::readlinkat(procFolder, "exe", target, sizeof target);
  if (length > 0) {
    QByteArray path(target, int(length));
    const QByteArray deleted(" (deleted)");
    if (path.endsWith(deleted))
      path.chop(deleted.size());
    return fileNameOf(path);
  }
  const QByteArray content = readAt(procFolder, "cmdline");
  return fileNameOf(content.left(content.indexOf('\0')));
}

// The fields of /proc/PID/stat after the command name, which may itself hold
// spaces and parentheses.
QList<QByteArray> statFields(int procFolder) {
  const QByteArray content = readAt(procFolder, "stat");
  const int nameEnd = content.lastIndexOf(')');
  if (nameEnd < 0)
    return {};
  return content.mid(nameEnd + 1).simplified().split(' ');
}

class PidfdHandle : public ProcessHandle {
public:
  PidfdHandle(int pidfd, int procFolder) : pidfd_(pidfd), procFolder_(procFolder) {}
  ~PidfdHandle() override {
    ::close(pidfd_);
    ::close(procFolder_);
  }

  quintptr value() const override { return quintptr(pidfd_); }

  QString exeName() const override { return exeNameIn(procFolder_); }

  std::optional<int> exitCode() const override {
    if (!pidfdSignal(pidfd_, 0))
      return std::nullopt;
    // Fields from the state on: state is field 3 of the file, exit_code 52.
    const QList<QByteArray> fields = statFields(procFolder_);
    if (fields.isEmpty())
      return std::nullopt;
    if (fields[0] != "Z" && fields[0] != "X")
      return stillActive;
    bool ok = false;
    const int status = fields.value(49).toInt(&ok);
    if (!ok)
      return std::nullopt;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

  // A process cannot choose its exit code when killed; SIGKILL is the only
  // termination that it cannot refuse.
  bool terminate(int) override { return exitCode() == stillActive && pidfdSignal(pidfd_, SIGKILL); }

private:
  int pidfd_;
  int procFolder_;
};

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

QVector<ProcessEntry> LinuxProcessApi::snapshot() const {
  QVector<ProcessEntry> entries;
  // QDirIterator keeps the directory's own order, which for /proc is by pid.
  QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    it.next();
    bool isPid = false;
    const qint64 pid = it.fileName().toLongLong(&isPid);
    if (!isPid)
      continue;
    const int folder = openProcFolder(pid);
    if (folder < 0)
      continue;
    const QString name = exeNameIn(folder);
    ::close(folder);
    if (!name.isEmpty())
      entries.append({pid, name});
  }
  return entries;
}

std::unique_ptr<ProcessHandle> LinuxProcessApi::open(qint64 pid) const {
  const int pidfd = pidfdOpen(pid);
  if (pidfd < 0)
    return nullptr;
  const int folder = openProcFolder(pid);
  // The process held by the pidfd not yet reaped after the folder was opened
  // means the folder is that process's: its pid could not have been reused.
  // A process of another user answers EPERM, which also says it is there.
  const bool same = folder >= 0 && (pidfdSignal(pidfd, 0) || errno == EPERM);
  if (!same) {
    if (folder >= 0)
      ::close(folder);
    ::close(pidfd);
    return nullptr;
  }
  return std::make_unique<PidfdHandle>(pidfd, folder);
}

bool LinuxProcessApi::startDetached(const QString &program, const QStringList &arguments,
                                    const QString &workingFolder) const {
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
