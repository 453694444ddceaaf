// The command runner: arguments as given with no shell, the time limit and
// the kill, exit codes, crashes and programs that cannot start.
#include <QElapsedTimer>
#include <QTextCodec>

#include <csignal>
#include <gtest/gtest.h>

#include "CleanupTestSupport.h"
#include "platform/os/CommandRunner.h"

TEST(CommandRunner, PassesArgumentsAsGivenWithoutAShell) {
  TempTree tree;
  const QString marker = tree.path("ran");
  const CommandResult result = CommandRunner::run(
      "printf", {"%s|", "a b", "$(touch " + marker + ")", ";", "*", "'q'"}, 5000);
  ASSERT_TRUE(result.succeeded());
  EXPECT_EQ(result.output, "a b|$(touch " + marker + ")|;|*|'q'|");
  EXPECT_FALSE(QFileInfo::exists(marker));
}

TEST(CommandRunner, KillsACommandAtItsTimeLimit) {
  TempTree tree;
  const QString pidFile = tree.path("pid");
  QElapsedTimer timer;
  timer.start();
  const CommandResult result =
      CommandRunner::run("bash", {"-c", "echo $$ > " + pidFile + "; exec sleep 30"}, 500);
  EXPECT_LT(timer.elapsed(), 10000);
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.finished);
  EXPECT_FALSE(result.succeeded());
  const pid_t pid = tree.read("pid").trimmed().toInt();
  ASSERT_GT(pid, 0);
  EXPECT_NE(::kill(pid, 0), 0) << "still there";
}

TEST(CommandRunner, ReportsExitCodesCrashesAndProgramsThatCannotStart) {
  const CommandResult failed = CommandRunner::run("bash", {"-c", "echo oops >&2; exit 3"}, 5000);
  EXPECT_TRUE(failed.finished);
  EXPECT_EQ(failed.exitCode, 3);
  EXPECT_EQ(failed.errorOutput, "oops\n");
  EXPECT_FALSE(failed.succeeded());
  const CommandResult crashed = CommandRunner::run("bash", {"-c", "kill -9 $$"}, 5000);
  EXPECT_TRUE(crashed.crashed);
  EXPECT_FALSE(crashed.succeeded());
  const CommandResult missing = CommandRunner::run("/nonexistent/program", {}, 5000);
  EXPECT_FALSE(missing.started);
  EXPECT_FALSE(missing.succeeded());
  EXPECT_FALSE(CommandRunner::startDetached("/nonexistent/program", {}));
}

TEST(CommandRunner, DecodesOutputFromTheLocalesEncoding) {
  if (QTextCodec::codecForLocale()->name() != "UTF-8")
    GTEST_SKIP() << "the locale's encoding is not UTF-8 here";
  const CommandResult result = CommandRunner::run("printf", {"\xe6\xbd\xae\xe4\xba\x95"}, 5000);
  EXPECT_EQ(result.output, QString::fromUtf8("潮井"));
}
