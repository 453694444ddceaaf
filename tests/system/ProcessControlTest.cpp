#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system/ProcessControl.h"
#include "tests/system/HookedProcesses.h"
#include "tests/system/LogLines.h"
#include "tests/system/TestFiles.h"

namespace {

std::string line(const std::string &text) {
  return LogLines::native("NativeUtil", text);
}

bool waitFor(const std::function<bool()> &condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > 5000)
      return false;
    QThread::msleep(20);
  }
  return true;
}

// Copies of /bin/sleep under chosen names, started and ended by the test.
class ProcessControlTest : public ::testing::Test {
protected:
  void TearDown() override {
    for (auto &process : started) {
      process->kill();
      process->waitForFinished();
    }
  }

  QString probe(const QString &name) {
    const QString path = dir.filePath(name);
    if (!QFileInfo::exists(path)) {
      EXPECT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), path));
    }
    return path;
  }

  QProcess &start(const QString &name) {
    started.push_back(std::make_unique<QProcess>());
    QProcess &process = *started.back();
    process.start(probe(name), {QStringLiteral("30")});
    EXPECT_TRUE(process.waitForStarted());
    return process;
  }

  QTemporaryDir dir;
  ProcessControl processes;
  std::vector<std::unique_ptr<QProcess>> started;
};

TEST_F(ProcessControlTest, FindsEveryInstanceInPidOrderByExactName) {
  const qint64 first = start("tw-probe.exe").processId();
  const qint64 second = start("tw-probe.exe").processId();
  const QString expected =
      QStringLiteral("%1,%2").arg(qMin(first, second)).arg(qMax(first, second));
  EXPECT_EQ(processes.getProcessIDList("tw-probe.exe"), expected);
  EXPECT_TRUE(processes.isProcessRunning("tw-probe.exe"));
  EXPECT_FALSE(processes.isProcessRunning("TW-Probe.exe"));
  EXPECT_EQ(processes.getProcessIDList("TW-Probe.exe"), "");
  EXPECT_FALSE(processes.isProcessRunning(probe("tw-probe.exe")));
  EXPECT_FALSE(processes.isProcessRunning("tw-probe"));
}

// Another user's copy of a program is neither found nor ended: an installer
// must not wait for, or kill, what some other session runs.
TEST_F(ProcessControlTest, AnotherUsersProcessIsNotTheirs) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "not root: cannot start a process as another user";
  // A folder the other user can reach, outside the test's private one.
  QTemporaryDir shared(QStringLiteral("/tmp/tw-other-user-XXXXXX"));
  ASSERT_TRUE(QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadOther |
                                                       QFile::ExeOther));
  const QString program = shared.filePath("tw-others.exe");
  ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), program));
  started.push_back(std::make_unique<QProcess>());
  QProcess &other = *started.back();
  other.start(QStringLiteral("setpriv"),
              {"--reuid=65534", "--regid=65534", "--clear-groups", program, "30"});
  ASSERT_TRUE(other.waitForStarted());
  ASSERT_TRUE(waitFor([&] {
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(other.processId())).symLinkTarget() ==
           program;
  }));
  EXPECT_FALSE(processes.isProcessRunning("tw-others.exe"));
  EXPECT_EQ(processes.getProcessIDList("tw-others.exe"), "");
  EXPECT_FALSE(processes.killProcess("tw-others.exe"));
  EXPECT_EQ(other.state(), QProcess::Running);
}

TEST_F(ProcessControlTest, MatchesNamesLongerThanTheKernelsCommField) {
  const QString name = "tw-probe-with-a-long-name.exe";
  const qint64 pid = start(name).processId();
  EXPECT_EQ(processes.getProcessIDList(name), QString::number(pid));
  EXPECT_EQ(processes.getProcessIDList(name.left(15)), "");
}

TEST_F(ProcessControlTest, KeepsTheNameOfAnExecutableDeletedWhileRunning) {
  const qint64 pid = start("tw-probe.exe").processId();
  ASSERT_TRUE(QFile::remove(probe("tw-probe.exe")));
  EXPECT_EQ(processes.getProcessIDList("tw-probe.exe"), QString::number(pid));
}

TEST_F(ProcessControlTest, EndedProcessesAreNotRunning) {
  QProcess &process = start("tw-probe.exe");
  process.kill();
  ASSERT_TRUE(process.waitForFinished());
  EXPECT_FALSE(processes.isProcessRunning("tw-probe.exe"));
  EXPECT_EQ(processes.getProcessIDList("tw-probe.exe"), "");
}

TEST_F(ProcessControlTest, ZombiesAreNotListed) {
  const QByteArray path = QFile::encodeName(probe("tw-probe.exe"));
  char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>("0"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ), 0);
  // Not reaped yet: the process is a zombie once its stat says so.
  const bool zombie = waitFor([&] {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
  });
  EXPECT_TRUE(zombie);
  EXPECT_EQ(processes.getProcessIDList("tw-probe.exe"), "");
  EXPECT_FALSE(processes.isProcessRunning("tw-probe.exe"));
  EXPECT_FALSE(processes.getProcessNameList().split(',').contains("tw-probe.exe"));
  waitpid(pid, nullptr, 0);
}

TEST_F(ProcessControlTest, NameListHasEachNameOnceAndLeavesOutSystemNames) {
  start("tw-probe.exe");
  start("tw-probe.exe");
  start("svchost.exe");
  start("Svchost.exe");
  const QStringList names = processes.getProcessNameList().split(',');
  EXPECT_EQ(names.count("tw-probe.exe"), 1);
  EXPECT_EQ(names.count("Svchost.exe"), 1);
  EXPECT_FALSE(names.contains("svchost.exe"));
  EXPECT_FALSE(names.contains(""));
}

TEST_F(ProcessControlTest, KillEndsOnlyTheFirstMatch) {
  QProcess &a = start("tw-probe.exe");
  QProcess &b = start("tw-probe.exe");
  QProcess &first = a.processId() < b.processId() ? a : b;
  QProcess &second = a.processId() < b.processId() ? b : a;
  const qint64 secondPid = second.processId();

  LogLines log;
  EXPECT_TRUE(processes.killProcess("tw-probe.exe"));
  ASSERT_TRUE(first.waitForFinished(5000));
  EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
  EXPECT_EQ(second.state(), QProcess::Running);
  EXPECT_EQ(processes.getProcessIDList("tw-probe.exe"), QString::number(secondPid));

  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], line("try to kill process tw-probe.exe"));
  EXPECT_EQ(lines[1], line("found matched exe tw-probe.exe open process"));
  EXPECT_TRUE(QRegularExpression(R"(^\[ {14}NativeUtil\] hProcess=[1-9a-f][0-9a-f]* +\[ \]$)")
                  .match(QString::fromStdString(lines[2]))
                  .hasMatch())
      << lines[2];
  EXPECT_EQ(lines[3], line("exit code for this process is 259"));
  EXPECT_EQ(lines[4], line("before terminate process"));
  EXPECT_EQ(lines[5], line("after terminate process"));
  EXPECT_EQ(lines[6], line("after close handle for hprocess"));
  EXPECT_EQ(lines[7], line("before close snapshot handle and exit this function"));
  EXPECT_EQ(lines[8], line("after close snapshot handle and exit this function"));
}

TEST_F(ProcessControlTest, KillWithoutMatchWritesOnlyTheSnapshotLines) {
  LogLines log;
  EXPECT_FALSE(processes.killProcess("tw-nothing-like-this.exe"));
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("try to kill process tw-nothing-like-this.exe"),
                                      line("before close snapshot handle and exit this function"),
                                      line("after close snapshot handle and exit this function")}));
}

TEST_F(ProcessControlTest, AProcessEndedAfterTheSnapshotIsNeitherFoundNorSignalled) {
  QProcess &listed = start("tw-probe.exe");
  ProcessControl hooked(std::make_shared<HookedProcesses>([&] {
    listed.kill();
    listed.waitForFinished();
  }));
  LogLines log;
  EXPECT_FALSE(hooked.killProcess("tw-probe.exe"));
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], line("hProcess=0"));
  EXPECT_EQ(lines[3], line("exit code for this process is 0"));
  EXPECT_EQ(lines[4], line("after close handle for hprocess"));

  start("tw-probe.exe");
  QProcess &second = start("tw-probe.exe");
  ProcessControl again(std::make_shared<HookedProcesses>([&] {
    second.kill();
    second.waitForFinished();
  }));
  EXPECT_TRUE(again.isProcessRunning("tw-probe.exe"));
  EXPECT_EQ(again.getProcessIDList("tw-probe.exe").split(',').size(), 1);
}

// A pid that passes to another program between the snapshot and the handle,
// made certain in a PID namespace where the test picks the next pid.
TEST(ProcessReuseTest, AReusedPidIsNeverTakenForTheListedProgram) {
  QStringList arguments;
  if (geteuid() != 0)
    arguments << "--user"
              << "--map-root-user";
  arguments << "--pid"
            << "--fork"
            << "--mount-proc" << TW_PID_REUSE_PROBE;
  QProcess unshare;
  unshare.start("unshare", arguments);
  if (!unshare.waitForStarted())
    GTEST_SKIP() << "unshare is not installed, so no PID namespace can be made";
  ASSERT_TRUE(unshare.waitForFinished(60000));
  const QString out = QString::fromUtf8(unshare.readAllStandardOutput());
  const QString err = QString::fromUtf8(unshare.readAllStandardError());
  if (!out.startsWith("probe started\n"))
    GTEST_SKIP() << "no PID namespace can be made here: " << err.toStdString();
  if (unshare.exitCode() == 2)
    GTEST_SKIP() << "the PID namespace does not let the test choose pids: " << out.toStdString();
  EXPECT_EQ(unshare.exitCode(), 0) << err.toStdString();
  EXPECT_EQ(out, "probe started\n"
                 "control kill true\n"
                 "isProcessRunning false, successor running\n"
                 "getProcessIDList [], successor running\n"
                 "killProcess false, successor running\n");
}

// A program that records its working folder and its arguments.
class LaunchTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(writeFile(program,
                          "#!/bin/sh\n"
                          "{ pwd -P; echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; }"
                          " > out.tmp && mv out.tmp out.txt\n"));
    ASSERT_TRUE(
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QDir(dir.path()).mkdir("work"));
  }

  QByteArray recorded() {
    const QString out = work + "/out.txt";
    return waitFor([&] { return QFileInfo::exists(out); }) ? readFile(out) : QByteArray();
  }

  QTemporaryDir dir;
  QString program = dir.filePath("tw-args.sh");
  QString work = dir.filePath("work");
  ProcessControl processes;
};

TEST_F(LaunchTest, SplitsCommandAtCommasInWorkingFolder) {
  LogLines log;
  EXPECT_TRUE(processes.launch(program, work, "--a,--b"));
  EXPECT_EQ(recorded(), QFileInfo(work).canonicalFilePath().toUtf8() + "\n2\n[--a]\n[--b]\n");
  EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                line("try to launch: " + program.toStdString() +
                                     ", work dir: " + work.toStdString() + ", command: --a,--b"),
                                line("launch result: true")}));
}

TEST_F(LaunchTest, EmptyCommandIsOneEmptyArgument) {
  EXPECT_TRUE(processes.launch(program, work, ""));
  EXPECT_EQ(recorded(), QFileInfo(work).canonicalFilePath().toUtf8() + "\n1\n[]\n");
}

TEST_F(LaunchTest, EmptyPartsAreKept) {
  EXPECT_TRUE(processes.launch(program, work, "a,,b"));
  EXPECT_EQ(recorded(), QFileInfo(work).canonicalFilePath().toUtf8() + "\n3\n[a]\n[]\n[b]\n");
}

TEST_F(LaunchTest, StartedProgramHoldsOnlyStandardDescriptorsAndNoEngineVariables) {
  const QString sleeper = dir.filePath("tw-launched.exe");
  ASSERT_TRUE(QFile::copy("/bin/sleep", sleeper));
  // Descriptors of every kind that a start must not hand on.
  const int file = ::open("/proc/self/exe", O_RDONLY);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(file, 0);
  ASSERT_GE(socket, 0);
  qputenv("TIDEWELL_ENGINE_INSPECTOR_PORT", "9333");
  qputenv("QTWEBENGINE_REMOTE_DEBUGGING", "127.0.0.1:9333");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--enable-blink-features=ImportMaps");
  qputenv("TW_LAUNCH_KEPT", "kept");

  const bool started = processes.launch(sleeper, work, "30");
  for (int fd : {file, pipeFds[0], pipeFds[1], socket})
    ::close(fd);
  for (const char *name : {"TIDEWELL_ENGINE_INSPECTOR_PORT", "QTWEBENGINE_REMOTE_DEBUGGING",
                           "QTWEBENGINE_CHROMIUM_FLAGS", "TW_LAUNCH_KEPT"})
    qunsetenv(name);
  ASSERT_TRUE(started);

  QString pid;
  ASSERT_TRUE(
      waitFor([&] { return !(pid = processes.getProcessIDList("tw-launched.exe")).isEmpty(); }));
  const QString proc = "/proc/" + pid;
  // The program's own start-up (the loader opening libraries) holds a
  // descriptor for a moment; an inherited one would stay.
  const auto descriptors = [&] {
    return QDir(proc + "/fd")
        .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System, QDir::Name);
  };
  waitFor([&] { return descriptors() == QStringList{"0", "1", "2"}; });
  EXPECT_EQ(descriptors(), (QStringList{"0", "1", "2"}));
  const QList<QByteArray> environment = readFile(proc + "/environ").split('\0');
  EXPECT_TRUE(environment.contains("TW_LAUNCH_KEPT=kept"));
  for (const QByteArray &entry : environment) {
    EXPECT_FALSE(entry.startsWith("TIDEWELL_ENGINE_") || entry.startsWith("QTWEBENGINE_REMOTE") ||
                 entry.startsWith("QTWEBENGINE_CHROMIUM"))
        << entry.toStdString();
  }
  // Detached: not our child, so nothing here has to reap it.
  const QByteArray stat = readFile(proc + "/stat");
  EXPECT_NE(stat.mid(stat.lastIndexOf(')') + 4).split(' ').value(0).toLongLong(),
            qint64(::getpid()));
  EXPECT_TRUE(processes.killProcess("tw-launched.exe"));
}

TEST_F(LaunchTest, MissingWorkFolderFailsAndStartsNothing) {
  LogLines log;
  EXPECT_FALSE(processes.launch(program, dir.filePath("missing"), "x"));
  EXPECT_EQ(log.messages().back(), line("launch result: false"));
  QThread::msleep(200);
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.txt")));
  EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("out.txt")));
}

TEST_F(LaunchTest, ProgramNotInPathFails) {
  EXPECT_FALSE(processes.launch("tw-no-such-program-anywhere", work, ""));
  EXPECT_FALSE(processes.launch(dir.filePath("work"), work, ""));
}

TEST_F(LaunchTest, MissingProgramFails) {
  LogLines log;
  EXPECT_FALSE(processes.launch(dir.filePath("missing.exe"), work, ""));
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], line("launch result: false"));
}

} // namespace
