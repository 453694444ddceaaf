#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system/ProcessControl.h"
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

TEST_F(LaunchTest, MissingProgramFails) {
  LogLines log;
  EXPECT_FALSE(processes.launch(dir.filePath("missing.exe"), work, ""));
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], line("launch result: false"));
}

} // namespace
