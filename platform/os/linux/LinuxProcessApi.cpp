#include "platform/os/linux/LinuxProcessApi.h"

#include "platform/os/CommandRunner.h"

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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
  // Only the user's own processes are theirs to find or end: another user's
  // copy of a program is not "running" for this user, even for root.
  struct stat facts;
  const bool same = folder >= 0 && pidfdSignal(pidfd, 0) && ::fstat(folder, &facts) == 0 &&
                    facts.st_uid == ::getuid();
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
  return CommandRunner::startDetached(program, arguments, workingFolder);
}
