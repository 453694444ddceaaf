#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "system/ShellService.h"
#include "tests/system/LogLines.h"
#include "tests/system/TestFiles.h"

namespace {

std::string line(const std::string &text) {
  return LogLines::native("SysUtil", text);
}

QString desktop() {
  return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

// The value of key in the entry's text, or nothing.
std::optional<QString> entryValue(const QByteArray &entry, const QString &key) {
  for (const QString &row : QString::fromUtf8(entry).split('\n')) {
    if (row.startsWith(key + "="))
      return row.mid(key.size() + 1);
  }
  return std::nullopt;
}

std::pair<int, QString> validate(const QString &file) {
  QProcess validator;
  validator.setProcessChannelMode(QProcess::MergedChannels);
  validator.start(QStringLiteral("desktop-file-validate"), {file});
  if (!validator.waitForFinished())
    return {-1, QStringLiteral("desktop-file-validate did not run")};
  return {validator.exitCode(), QString::fromUtf8(validator.readAll())};
}

class ShellServiceTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(QDir().mkpath(desktop())); }

  ShellService shell;
};

TEST_F(ShellServiceTest, DesktopPathIsTheXdgDesktopFolder) {
  LogLines log;
  EXPECT_EQ(shell.getDesktopPath(), desktop());
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("desktop folder query result=0"),
                                      line("desktop folder path result=1"),
                                      line("GetDesktopPath=" + desktop().toStdString())}));
}

TEST_F(ShellServiceTest, ShortcutIsAValidExecutableDesktopEntry) {
  const QString target = "/opt/Tide well/Tidewell-app.exe";
  LogLines log;
  ASSERT_TRUE(
      shell.createDesktopShortcut("潮井", target, "--x \"a b\" 100% --dir=C:\\d $HOME", ""));
  const QString file = desktop() + "/潮井.desktop";
  const QByteArray entry = readFile(file);
  EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
  EXPECT_EQ(entryValue(entry, "Type"), "Application");
  // The desktop shows the name and comment in the user's language.
  EXPECT_EQ(entryValue(entry, "Name"), "Tidewell");
  EXPECT_EQ(entryValue(entry, "Name[zh_CN]"), "潮井");
  EXPECT_EQ(entryValue(entry, "Comment[zh_CN]"), "清理磁盘空间，释放存储");
  EXPECT_EQ(entryValue(entry, "Exec"),
            R"("/opt/Tide well/Tidewell-app.exe" --x "a b" 100%% "--dir=C:\\\\d" "\\$HOME")");
  EXPECT_EQ(entryValue(entry, "Path"), "/opt/Tide well");
  EXPECT_EQ(entryValue(entry, "Icon"), target);
  EXPECT_TRUE(QFileInfo(file).permissions() & QFile::ExeOwner);
  const auto [status, output] = validate(file);
  EXPECT_EQ(status, 0) << output.toStdString();
  EXPECT_FALSE(output.contains("error")) << output.toStdString();

  EXPECT_EQ(entryValue(readFile(file), "Categories"), "Utility;");
  EXPECT_EQ(entryValue(readFile(file), "StartupWMClass"), "Tidewell-app.exe");
  EXPECT_TRUE(entryValue(readFile(file), "Comment").has_value());
  // The same launcher in the application menu.
  const QString menu =
      qEnvironmentVariable("XDG_DATA_HOME") + QString::fromUtf8("/applications/潮井.desktop");
  EXPECT_EQ(readFile(menu), readFile(file));
  EXPECT_EQ(validate(menu).first, 0);

  const std::string lnk = file.toStdString();
  const std::vector<std::string> got = log.messages();
  ASSERT_GE(got.size(), 6u);
  EXPECT_EQ(got.back(), line("menu entry " + menu.toStdString() + " written"));
  EXPECT_EQ((std::vector<std::string>(got.begin(), got.begin() + 5)),
            (std::vector<std::string>{
                line("CreateDesktopShortcut. appName=潮井 exePath=" + target.toStdString() +
                     " cmdLine=--x \"a b\" 100% --dir=C:\\d $HOME appIcon="),
                line("desktop folder query result=0"), line("lnkPath=" + lnk),
                line("CreateLinkFile. szStartAppPath=" + target.toStdString() +
                     " szAddCmdLine=--x \"a b\" 100% --dir=C:\\d $HOME szDestLnkPath=" + lnk +
                     " szIconPath="),
                line("work dir=/opt/Tide well")}));
}

TEST_F(ShellServiceTest, SecondShortcutReplacesTheFirst) {
  const QString file = desktop() + "/Tidewell.desktop";
  ASSERT_TRUE(shell.createDesktopShortcut("Tidewell", "/opt/a/app.exe", "--first", "/opt/a/a.png"));
  EXPECT_TRUE(shell.createDesktopShortcut("Tidewell", "/opt/b/app.exe", "", ""));
  const QByteArray entry = readFile(file);
  EXPECT_EQ(entryValue(entry, "Exec"), "/opt/b/app.exe");
  EXPECT_EQ(entryValue(entry, "Path"), "/opt/b");
  EXPECT_EQ(entryValue(entry, "Icon"), "/opt/b/app.exe");
  EXPECT_TRUE(QFileInfo(file).permissions() & QFile::ExeOther);
  EXPECT_EQ(validate(file).first, 0);
}

TEST_F(ShellServiceTest, TargetWithoutFolderHasNoPath) {
  LogLines log;
  ASSERT_TRUE(shell.createDesktopShortcut("Bare", "tidewell-app", "", "tidewell"));
  const QByteArray entry = readFile(desktop() + "/Bare.desktop");
  EXPECT_EQ(entryValue(entry, "Exec"), "tidewell-app");
  EXPECT_EQ(entryValue(entry, "Path"), std::nullopt);
  EXPECT_EQ(entryValue(entry, "Icon"), "tidewell");
  EXPECT_EQ(validate(desktop() + "/Bare.desktop").first, 0);
  const std::vector<std::string> got = log.messages();
  EXPECT_NE(std::find(got.begin(), got.end(), line("work dir=")), got.end());
}

// Without a desktop folder there is no desktop launcher, but the menu entry
// is still made: it is then the only way to start the application.
TEST_F(ShellServiceTest, MissingDesktopFolderStillGivesTheMenuEntry) {
  const QString aside = desktop() + ".aside";
  ASSERT_TRUE(QDir().rename(desktop(), aside));
  LogLines log;
  const bool created = shell.createDesktopShortcut("Tidewell", "/opt/app.exe", "", "");
  const QString path = shell.getDesktopPath();
  QDir().rename(aside, desktop());
  EXPECT_FALSE(created);
  EXPECT_EQ(path, "");
  const QString menu = qEnvironmentVariable("XDG_DATA_HOME") + "/applications/Tidewell.desktop";
  EXPECT_EQ(entryValue(readFile(menu), "Exec"), "/opt/app.exe");
  EXPECT_EQ(validate(menu).first, 0);
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{
                line("CreateDesktopShortcut. appName=Tidewell exePath=/opt/app.exe cmdLine= "
                     "appIcon="),
                line("desktop folder query result=-2"),
                line("menu entry " + menu.toStdString() + " written"),
                line("desktop folder query result=-2"), line("desktop folder path result=0"),
                line("GetDesktopPath=")}));
}

} // namespace
