#include "platform/os/linux/LinuxProcessApi.h"

#include "platform/os/CommandRunner.h"

#include <QDirIterator>
#include <QFile>

#include <csignal>
#include <limits.h>
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

QString procPath(qint64 pid, const char *entry) {
  return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry));
}

QString fileNameOf(const QByteArray &path) {
  return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

// The executable's file name: the exe link where it can be read, else
// argv[0]; never comm, which the kernel cuts at 15 characters.
QString exeNameOf(qint64 pid) {
  char target[PATH_MAX];
  const ssize_t length =
      ::readlink(QFile::encodeName(procPath(pid, "exe")).constData(), target, sizeof target);
  if (length > 0) {
    QByteArray path(target, int(length));
    const QByteArray deleted(" (deleted)");
    if (path.endsWith(deleted))
      path.chop(deleted.size());
    return fileNameOf(path);
  }
  QFile cmdline(procPath(pid, "cmdline"));
  if (!cmdline.open(QIODevice::ReadOnly))
    return QString();
  const QByteArray content = cmdline.readAll();
  return fileNameOf(content.left(content.indexOf('\0')));
}

// The fields of /proc/PID/stat after the command name, which may itself hold
// spaces and parentheses.
QList<QByteArray> statFields(qint64 pid) {
  QFile stat(procPath(pid, "stat"));
  if (!stat.open(QIODevice::ReadOnly))
    return {};
  const QByteArray content = stat.readAll();
  const int nameEnd = content.lastIndexOf(')');
  if (nameEnd < 0)
    return {};
  return content.mid(nameEnd + 1).simplified().split(' ');
}

class PidfdHandle : public ProcessHandle {
public:
  PidfdHandle(qint64 pid, int fd) : pid_(pid), fd_(fd) {}
  ~PidfdHandle() override { ::close(fd_); }

  quintptr value() const override { return quintptr(fd_); }

  std::optional<int> exitCode() const override {
    if (!pidfdSignal(fd_, 0))
      return std::nullopt;
    // Fields from the state on: state is field 3 of the file, exit_code 52.
    const QList<QByteArray> fields = statFields(pid_);
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
  bool terminate(int) override { return exitCode() == stillActive && pidfdSignal(fd_, SIGKILL); }

private:
  qint64 pid_;
  int fd_;
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
    const QString name = exeNameOf(pid);
    if (!name.isEmpty())
      entries.append({pid, name});
  }
  return entries;
}

std::unique_ptr<ProcessHandle> LinuxProcessApi::open(qint64 pid) const {
  const int fd = pidfdOpen(pid);
  if (fd < 0)
    return nullptr;
  return std::make_unique<PidfdHandle>(pid, fd);
}

bool LinuxProcessApi::startDetached(const QString &program, const QStringList &arguments,
                                    const QString &workingFolder) const {
  return CommandRunner::startDetached(program, arguments, workingFolder);
}
