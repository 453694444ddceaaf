// Settings between processes of the product, in the file Qt's native format
// keeps for the user.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bridge/SettingsStore.h"
#include "tests/desktop/PeerProcess.h"

namespace {

QString settingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/Tidewell/Settings.conf";
}

} // namespace

TEST(Settings, AValueSetInOneProcessIsReadInTheNext) {
  EXPECT_EQ(PeerProcess::run({"setting-get", "theme", "light"}).at(0).toString(), "light");
  EXPECT_EQ(PeerProcess::run({"setting-set", "theme", "深色 = dark; 1,2"}).at(0).toBool(), true);
  EXPECT_EQ(PeerProcess::run({"setting-get", "theme", "light"}).at(0).toString(),
            "深色 = dark; 1,2");
  EXPECT_EQ(PeerProcess::run({"setting-get", "Theme", "light"}).at(0).toString(), "light")
      << "keys are case-sensitive";
  ASSERT_TRUE(QFile::exists(settingsFile()));
  QSettings file(settingsFile(), QSettings::IniFormat);
  EXPECT_EQ(file.value("theme").toString(), "深色 = dark; 1,2");
}

TEST(Settings, MinimizeOnCloseIsStoredButEveryProcessStartsWithTheFlagSet) {
  const QJsonArray first = PeerProcess::run({"minimize", "0"});
  EXPECT_EQ(first, QJsonArray({true, true, false}));
  EXPECT_EQ(PeerProcess::run({"setting-get", "minimizeOnClose", "?"}).at(0).toString(), "0");
  const QJsonArray second = PeerProcess::run({"minimize", "1"});
  EXPECT_EQ(second.at(0).toBool(), true) << "the stored 0 is not read back at start";
  EXPECT_EQ(PeerProcess::run({"setting-get", "minimizeOnClose", "?"}).at(0).toString(), "1");
}

TEST(Settings, AStoreThatCannotBeWrittenReportsFailure) {
  SettingsStore store;
  EXPECT_FALSE(store.setValue("", "x")) << "an empty key names nothing";

  const QString folder =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Tidewell";
  QDir(folder).removeRecursively();
  QDir().mkpath(QFileInfo(folder).path());
  QFile blocker(folder);
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder belongs
  blocker.close();
  EXPECT_FALSE(store.setValue("theme", "dark"));
  EXPECT_FALSE(store.setMinimizeOnClose(false));
  EXPECT_FALSE(SettingsStore::minimizeOnClose()) << "the flag is set all the same";
  EXPECT_TRUE(store.setMinimizeOnClose(true) == false && SettingsStore::minimizeOnClose());
  EXPECT_EQ(store.value("theme", "light"), "light");
  QFile::remove(folder);
}

TEST(Settings, TheFileIsTheUsersOnlyAlsoWhenAnOlderVersionLeftItOpen) {
  const auto modeOf = [](const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
  };
  const QString folder = QFileInfo(settingsFile()).path();
  QDir(folder).removeRecursively();
  SettingsStore store;
  ASSERT_TRUE(store.setValue("theme", "dark"));
  EXPECT_EQ(modeOf(folder), 0700);
  EXPECT_EQ(modeOf(settingsFile()), 0600);

  ::chmod(QFile::encodeName(folder).constData(), 0755);
  ::chmod(QFile::encodeName(settingsFile()).constData(), 0644);
  EXPECT_EQ(store.value("theme", "light"), "dark");
  EXPECT_EQ(modeOf(folder), 0700);
  EXPECT_EQ(modeOf(settingsFile()), 0600);
  ASSERT_TRUE(store.setValue("theme", "light")) << "a write through a new file keeps the mode";
  EXPECT_EQ(modeOf(settingsFile()), 0600);
}
