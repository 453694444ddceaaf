// Browser profiles as profiles.ini and the browsers' lock files describe them.
#include "tests/cleanup/PrivacyTestSupport.h"

#include "cleanup/BrowserProfiles.h"

namespace {

using BrowserProfiles = PrivacyTest;

TEST_F(BrowserProfiles, ProfilesIniGivesEachListedProfileItsCacheFolder) {
  const QString root = home() + "/.mozilla/firefox";
  const QString cache = cacheHome() + "/mozilla/firefox";
  write(root + "/profiles.ini",
        "[Install4F96D1932A9F858E]\r\nDefault=abcd.default-esr\r\n\r\n"
        "[Profile0]\r\nName=default-esr\r\nIsRelative=1\r\nPath=abcd.default-esr\r\n"
        "[Profile1]\nName=work\nIsRelative=0\nPath=" +
            QFile::encodeName(root) +
            "/Profiles/w,1.work\n"
            "[Profile2]\nName=usb\nIsRelative=0\nPath=/media/usb/ff.usb\n"
            "[Profile3]\nName=escape\nIsRelative=1\nPath=../../outside\n"
            "[Profile4]\nName=nopath\nIsRelative=1\n"
            "[General]\nStartWithLastProfile=1\nPath=not-a-profile\n");
  const QVector<FirefoxProfile> profiles = readProfilesIni(root, cache);
  ASSERT_EQ(profiles.size(), 3);
  EXPECT_EQ(profiles[0].path, root + "/abcd.default-esr");
  EXPECT_EQ(profiles[0].cacheFolder, cache + "/abcd.default-esr/cache2");
  EXPECT_EQ(profiles[1].path, root + "/Profiles/w,1.work");
  EXPECT_EQ(profiles[1].cacheFolder, cache + "/Profiles/w,1.work/cache2");
  EXPECT_EQ(profiles[2].path, "/media/usb/ff.usb");
  EXPECT_EQ(profiles[2].cacheFolder, "/media/usb/ff.usb/cache2");
  EXPECT_TRUE(readProfilesIni(home() + "/nowhere", cache).isEmpty());
}

TEST_F(BrowserProfiles, ALockCountsWhileItsProcessRuns) {
  const RunningProcess browser;
  const QString live = QString::number(browser.pid());
  const QString dead = QString::number(deadPid());
  const QString folder = home() + "/locks";
  QDir().mkpath(folder);
  const auto lock = [&](const QString &name, const QString &target) {
    link(target, folder + '/' + name);
    return folder + '/' + name;
  };
  EXPECT_FALSE(isLockHeld(folder + "/missing", false));
  EXPECT_TRUE(isLockHeld(lock("firefox-live", "127.0.1.1:+" + live), false));
  EXPECT_FALSE(isLockHeld(lock("firefox-dead", "127.0.1.1:+" + dead), false));
  EXPECT_TRUE(isLockHeld(lock("chrome-live", hostName() + '-' + live), false));
  EXPECT_FALSE(isLockHeld(lock("chrome-dead", hostName() + '-' + dead), false));
  EXPECT_TRUE(isLockHeld(lock("chrome-elsewhere", "other-host.example-" + dead), false))
      << "another host's process cannot be checked from here";
  EXPECT_TRUE(isLockHeld(lock("garbage", "what"), false));
  EXPECT_TRUE(isLockHeld(write(folder + "/plain", "1"), false));
  EXPECT_TRUE(isLockHeld(folder + "/chrome-dead", true))
      << "a sandboxed browser's pid is another namespace's";
}

} // namespace
