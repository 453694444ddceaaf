// Runs as the first process of a new PID namespace, where it can choose the
// next pid: between a snapshot and the first handle, the pid of a listed
// program passes to another program. Prints what each process method then
// did; exits 2 when the namespace does not let it choose pids.
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system/ProcessControl.h"
#include "tests/system/HookedProcesses.h"

namespace {

pid_t spawnSleep(const QByteArray &path) {
  char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>("30"), nullptr};
  pid_t pid = -1;
  return posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

void end(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

bool running(pid_t pid) {
  return ::waitpid(pid, nullptr, WNOHANG) == 0;
}

// The next pid this namespace hands out becomes pid.
bool nextPidIs(pid_t pid) {
  const int fd = ::open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const QByteArray text = QByteArray::number(pid - 1);
  const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
  ::close(fd);
  return written;
}

} // namespace

int main() {
  QTextStream out(stdout);
  out << "probe started\n" << Qt::flush;
  QTemporaryDir dir;
  const QString target = dir.filePath("tw-target.exe");
  const QString other = dir.filePath("tw-other.exe");
  if (!QFile::copy("/bin/sleep", target) || !QFile::copy("/bin/sleep", other))
    return 3;

  // Without interference the target is found and ended: the setup works.
  {
    const pid_t pid = spawnSleep(QFile::encodeName(target));
    ProcessControl processes(std::make_shared<HookedProcesses>([] {}));
    out << "control kill " << (processes.killProcess("tw-target.exe") ? "true" : "false") << "\n";
    ::waitpid(pid, nullptr, 0);
  }

  using Method = std::function<QString(ProcessControl &)>;
  const std::vector<std::pair<const char *, Method>> methods{
      {"isProcessRunning",
       [](ProcessControl &p) { return p.isProcessRunning("tw-target.exe") ? "true" : "false"; }},
      {"getProcessIDList",
       [](ProcessControl &p) { return "[" + p.getProcessIDList("tw-target.exe") + "]"; }},
      {"killProcess",
       [](ProcessControl &p) { return p.killProcess("tw-target.exe") ? "true" : "false"; }},
  };
  for (const auto &[name, call] : methods) {
    const pid_t listed = spawnSleep(QFile::encodeName(target));
    pid_t successor = -1;
    ProcessControl processes(std::make_shared<HookedProcesses>([&] {
      end(listed);
      if (nextPidIs(listed))
        successor = spawnSleep(QFile::encodeName(other));
    }));
    const QString result = call(processes);
    if (successor != listed) {
      out << "cannot reuse pid " << listed << " (got " << successor << ")\n";
      return 2;
    }
    out << name << " " << result << ", successor " << (running(successor) ? "running" : "ended")
        << "\n";
    end(successor);
  }
  return 0;
}
