#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "bridge/StartOnBoot.h"
#include "tests/cleanup/AutostartTestSupport.h"
#include "tests/system/LaunchRecorder.h"

using namespace AutostartTest;

namespace {

std::pair<int, QString> validate(const QString &file) {
  QProcess validator;
  validator.setProcessChannelMode(QProcess::MergedChannels);
  validator.start(QStringLiteral("desktop-file-validate"), {file});
  if (!validator.waitForFinished())
    return {-1, QStringLiteral("desktop-file-validate did not run")};
  return {validator.exitCode(), QString::fromUtf8(validator.readAll())};
}

class StartOnBootTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + "/config"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.path() + "/sys"));
    entry = root.path() + "/config/autostart/Tidewell.desktop";
  }

  QTemporaryDir root;
  QString entry;
};

TEST_F(StartOnBootTest, EntryStartsTheProgramInEverySession) {
  SKIP_WITHOUT_GENERATOR();
  const LaunchRecorder recorder(root.path() + "/Tide well 100%/Tidewell-app.exe");
  const StartOnBoot startOnBoot(recorder.program());
  EXPECT_EQ(StartOnBoot::entryPath(), entry);
  EXPECT_FALSE(startOnBoot.isStartupOnBoot());

  ASSERT_TRUE(startOnBoot.setStartupOnBoot(true));
  EXPECT_TRUE(startOnBoot.isStartupOnBoot());
  const auto [status, output] = validate(entry);
  EXPECT_EQ(status, 0) << output.toStdString();
  EXPECT_FALSE(output.contains("error")) << output.toStdString();
  EXPECT_EQ(QDir(root.path() + "/config/autostart").entryList(QDir::Files | QDir::Hidden),
            QStringList{"Tidewell.desktop"});

  const Units units = generatedUnits(root.path());
  ASSERT_EQ(units.sources, QSet<QString>{entry});
  // systemd's own form: a percent sign is doubled in unit files.
  EXPECT_EQ(units.execStart[entry],
            ":/usr/bin/env \"" + QString(recorder.program()).replace("%", "%%") + "\"");

  if (!LaunchRecorder::gioAvailable())
    GTEST_SKIP() << "gio is not installed (package libglib2.0-bin)";
  QString error;
  EXPECT_EQ(recorder.launch(entry, &error), QStringList{}) << error.toStdString();
}

TEST_F(StartOnBootTest, DesktopsSwitchingTheEntryOffAreHonoured) {
  const StartOnBoot startOnBoot("/bin/true");
  ASSERT_TRUE(startOnBoot.setStartupOnBoot(true));
  ASSERT_TRUE(startOnBoot.isStartupOnBoot());
  const QByteArray written = readFile(entry);
  // The session's list of start-up programs names it in the user's language.
  EXPECT_TRUE(written.contains("\nName=Tidewell\nName[zh_CN]=潮井\n")) << written.toStdString();

  ASSERT_TRUE(writeFile(entry, written + "Hidden=true\n"));
  EXPECT_FALSE(startOnBoot.isStartupOnBoot());
  ASSERT_TRUE(writeFile(entry, written + "X-GNOME-Autostart-enabled=false\n"));
  EXPECT_FALSE(startOnBoot.isStartupOnBoot());
  ASSERT_TRUE(writeFile(entry, written + "X-GNOME-Autostart-enabled=true\n"));
  EXPECT_TRUE(startOnBoot.isStartupOnBoot());

  // Switching it on again writes a fresh entry over the switched-off one.
  ASSERT_TRUE(writeFile(entry, written + "Hidden=true\n"));
  EXPECT_TRUE(startOnBoot.setStartupOnBoot(true));
  EXPECT_TRUE(startOnBoot.isStartupOnBoot());

  // An entry whose program is gone would not start anything.
  ASSERT_TRUE(StartOnBoot(root.path() + "/gone").setStartupOnBoot(true));
  EXPECT_FALSE(startOnBoot.isStartupOnBoot());
}

TEST_F(StartOnBootTest, SwitchingOffRemovesTheEntryAndSucceedsWithoutOne) {
  const StartOnBoot startOnBoot("/bin/true");
  EXPECT_TRUE(startOnBoot.setStartupOnBoot(false));
  ASSERT_TRUE(startOnBoot.setStartupOnBoot(true));
  EXPECT_TRUE(startOnBoot.setStartupOnBoot(false));
  EXPECT_FALSE(QFileInfo::exists(entry));
  EXPECT_FALSE(startOnBoot.isStartupOnBoot());
  EXPECT_TRUE(startOnBoot.setStartupOnBoot(false));
}

TEST_F(StartOnBootTest, ALinkInPlaceOfTheEntryIsReplacedNotFollowed) {
  const QString other = root.path() + "/other.desktop";
  ASSERT_TRUE(writeFile(other, "[Desktop Entry]\nType=Application\nName=Other\nExec=true\n"));
  QDir().mkpath(root.path() + "/config/autostart");
  ASSERT_TRUE(QFile::link(other, entry));
  ASSERT_TRUE(StartOnBoot("/bin/true").setStartupOnBoot(true));
  EXPECT_EQ(readFile(other), "[Desktop Entry]\nType=Application\nName=Other\nExec=true\n");
  EXPECT_FALSE(QFileInfo(entry).isSymLink());
  ASSERT_TRUE(QFile::link(other, root.path() + "/link"));
  ASSERT_TRUE(QFile::remove(entry) && QFile::rename(root.path() + "/link", entry));
  EXPECT_TRUE(StartOnBoot("/bin/true").setStartupOnBoot(false));
  EXPECT_TRUE(QFileInfo::exists(other));
}

} // namespace
