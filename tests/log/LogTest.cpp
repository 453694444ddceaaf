// The process log: line bytes, the file of the day, appending, rotation and
// running on without a log.
#include <errno.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "base/log/Log.h"
#include "base/log/LogSetup.h"

namespace {

QString dayFile(const QString &folder, const QDate &day) {
  return folder + "/Tidewell-" + day.toString("yyyy-MM-dd") + ".log";
}

QStringList lines(const QString &path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly))
    return {};
  QStringList out = QString::fromLocal8Bit(f.readAll()).split('\n');
  EXPECT_EQ(QString(), out.takeLast()); // every line ends in a newline
  return out;
}

// The part of a line after the fixed-width prefix, checked on the way.
QString messagePart(const QString &line, const QString &module) {
  static const QRegularExpression prefix(
      "^\\[(\\d{4}-\\d\\d-\\d\\d) \\d\\d:\\d\\d:\\d\\d\\.\\d{3} [ \\d]{3}\\dms\\]\\[([^\\]]*)\\]"
      "\\[P([ \\d]{6})\\]\\[T([ \\d]{6})\\]");
  const QRegularExpressionMatch m = prefix.match(line);
  EXPECT_TRUE(m.hasMatch()) << line.toStdString();
  if (!m.hasMatch())
    return QString();
  EXPECT_EQ(QDate::currentDate().toString("yyyy-MM-dd"), m.captured(1));
  EXPECT_EQ(module, m.captured(2));
  EXPECT_EQ(QString::fromStdString(fmt::format("{:>6}", getpid())), m.captured(3));
  EXPECT_EQ(QString::fromStdString(fmt::format("{:>6}", syscall(SYS_gettid))), m.captured(4));
  return line.mid(m.capturedLength());
}

TEST(ProcessLog, LineBytesFollowThePattern) {
  if (qEnvironmentVariableIsEmpty("TW_TEST_ROOT"))
    GTEST_SKIP() << "writes the user's own log; run it through scripts/isolated-env.sh";
  const QString longMessage = QString(70, 'm');
  const QString longTag = "a-tag-of-twenty-chars";
  Log::script("unstaller", "start run unstall");
  Log::info("TinyWindow", "hide from taskbar");
  EXPECT_EQ(0, Log::scriptLine(longMessage, "page"));
  EXPECT_EQ(0, Log::scriptLine(QString::fromUtf8("开始安装"), longTag));
  Log::info("NativeUtil", "copy {} to {}", "a", 2);

  // Logs are state, kept apart from the data folder that holds installations.
  const QString folder = qEnvironmentVariable("XDG_STATE_HOME") + "/Tidewell/logs";
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("XDG_STATE_HOME"));
  ASSERT_EQ(folder, Log::defaultFolder());
  EXPECT_FALSE(QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/Tidewell").exists());
  const QStringList got = lines(dayFile(folder, QDate::currentDate()));
  ASSERT_EQ(5, got.size());
  const QString module = QString::fromLocal8Bit(program_invocation_short_name);
  EXPECT_EQ("[   unstaller] start run unstall                                 [ ]",
            messagePart(got[0], module));
  EXPECT_EQ("[              TinyWindow] hide from taskbar                     [ ]",
            messagePart(got[1], module));
  EXPECT_EQ("[        page] " + longMessage + " [ ]", messagePart(got[2], module));
  const QString cjk = "[" + longTag + "] " + QString::fromUtf8("开始安装");
  // Padding counts bytes: four three-byte characters fill twelve columns.
  EXPECT_EQ(cjk + QString(64 - cjk.toUtf8().size(), ' ') + " [ ]", messagePart(got[3], module));
  EXPECT_EQ("[              NativeUtil] copy a to 2                           [ ]",
            messagePart(got[4], module));
}

TEST(ProcessLog, GoesOnWithoutALogWhenTheFolderCannotBeMade) {
  GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, logger not yet made
  QTemporaryDir dir;
  const QString blocker = dir.path() + "/file";
  QFile(blocker).open(QIODevice::WriteOnly);
  EXPECT_EXIT(
      {
        setenv("XDG_STATE_HOME", QFile::encodeName(blocker).constData(), 1);
        Log::info("NativeUtil", "no log {}", 1);
        const int result = Log::scriptLine("start run unstall", "unstaller");
        std::exit(result == 0 && !Log::logger() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "\\[ \"unstaller\" \\]: \t \"start run unstall\"");
  EXPECT_FALSE(QFile::exists(blocker + "/Tidewell"));
}

class LogFolder : public ::testing::Test {
protected:
  QString folder() const { return dir.path() + "/Tidewell/logs"; }
  QString today() const { return dayFile(folder(), QDate::currentDate()); }
  QTemporaryDir dir;
};

TEST_F(LogFolder, FirstLineCreatesTheFolderAndSecondStartAppends) {
  auto first = Log::createLogger(folder(), "Tidewell-installer.exe");
  ASSERT_TRUE(first);
  first->info("first run");
  first.reset();
  auto second = Log::createLogger(folder(), "Tidewell-installer.exe");
  ASSERT_TRUE(second);
  second->info("second run");
  const QStringList got = lines(today());
  ASSERT_EQ(2, got.size());
  EXPECT_TRUE(messagePart(got[0], "Tidewell-installer.exe").startsWith("first run "));
  EXPECT_TRUE(messagePart(got[1], "Tidewell-installer.exe").startsWith("second run "));
}

TEST_F(LogFolder, EveryLineIsOnDiskAtOnce) {
  auto log = Log::createLogger(folder(), "x.exe");
  ASSERT_TRUE(log);
  log->info("one");
  EXPECT_EQ(1, lines(today()).size()); // read while the logger is open
}

TEST_F(LogFolder, AtMidnightTheOldestOf31FilesGoes) {
  ASSERT_TRUE(QDir().mkpath(folder()));
  const QDate now = QDate::currentDate();
  for (int back = 1; back <= 29; ++back) {
    QFile f(dayFile(folder(), now.addDays(-back)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old\n");
  }
  auto log = Log::createLogger(folder(), "x.exe"); // today's file: 30 in all
  ASSERT_TRUE(log);
  log->info("before midnight");
  // A line whose time is tomorrow: the day changes under the running program.
  log->log(std::chrono::system_clock::now() + std::chrono::hours(24), spdlog::source_loc{},
           spdlog::level::info, "after midnight");
  const QStringList files = QDir(folder()).entryList({"Tidewell-*.log"}, QDir::Files);
  EXPECT_EQ(30, files.size()) << files.join(' ').toStdString();
  EXPECT_FALSE(QFile::exists(dayFile(folder(), now.addDays(-29))));
  EXPECT_TRUE(QFile::exists(dayFile(folder(), now.addDays(-28))));
  ASSERT_EQ(1, lines(today()).size());
  const QStringList next = lines(dayFile(folder(), now.addDays(1)));
  ASSERT_EQ(1, next.size());
  EXPECT_TRUE(next[0].contains("after midnight"));
}

TEST_F(LogFolder, FileThatCannotBeOpenedGivesNoLogger) {
  ASSERT_TRUE(QDir().mkpath(today())); // a folder where the file should be
  EXPECT_FALSE(Log::createLogger(folder(), "x.exe"));
  QFile(dir.path() + "/plain").open(QIODevice::WriteOnly);
  EXPECT_FALSE(Log::createLogger(dir.path() + "/plain/logs", "x.exe"));
}

TEST_F(LogFolder, PercentAndBracesInPathsAndNamesStayText) {
  const QString odd = dir.path() + "/we{i}rd %Y %d/logs";
  auto log = Log::createLogger(odd, "a%n{}.exe");
  ASSERT_TRUE(log);
  log->info("text {} %v");
  const QStringList got = lines(dayFile(odd, QDate::currentDate()));
  ASSERT_EQ(1, got.size());
  EXPECT_TRUE(messagePart(got[0], "a%n{}.exe").startsWith("text {} %v "));
}

} // namespace

namespace {

int modeOf(const QString &path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

TEST_F(LogFolder, LogsAreTheUsersOnlyAlsoThoseAnOlderVersionLeftOpen) {
  ASSERT_TRUE(QDir().mkpath(folder()));
  const QString old = dayFile(folder(), QDate::currentDate().addDays(-3));
  QFile(old).open(QIODevice::WriteOnly);
  ::chmod(QFile::encodeName(old).constData(), 0644);
  ::chmod(QFile::encodeName(folder()).constData(), 0755);
  auto log = Log::createLogger(folder(), "x.exe");
  ASSERT_TRUE(log);
  log->info("today");
  log->log(std::chrono::system_clock::now() + std::chrono::hours(24), spdlog::source_loc{},
           spdlog::level::info, "tomorrow");
  EXPECT_EQ(modeOf(folder()), 0700);
  for (const QString &file : {old, today(), dayFile(folder(), QDate::currentDate().addDays(1))})
    EXPECT_EQ(modeOf(file), 0600) << file.toStdString();
}
