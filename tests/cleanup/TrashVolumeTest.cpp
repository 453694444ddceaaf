// Trash folders on a second volume: a tmpfs mounted in a mount namespace of
// this test's own, where the machine lets the test make one.
#include "tests/cleanup/PrivacyTestSupport.h"

#include <cerrno>
#include <cstring>

#include <sched.h>
#include <sys/mount.h>

#include "cleanup/TrashFolders.h"

namespace {

class TrashVolume : public PrivacyTest {
protected:
  void SetUp() override {
    PrivacyTest::SetUp();
    volume = home() + "/volume";
    QDir().mkpath(volume);
    // The namespace is this process's own: the mount is never seen outside.
    if (unshare(CLONE_NEWNS) != 0)
      GTEST_SKIP() << "no mount namespace for this user: " << strerror(errno);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", QFile::encodeName(volume).constData(), "tmpfs", 0, "size=16m") != 0)
      GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << strerror(errno);
    mounted = true;
  }
  void TearDown() override {
    if (mounted)
      umount2(QFile::encodeName(volume).constData(), MNT_DETACH);
  }

  QString volume;
  bool mounted = false;
};

TEST_F(TrashVolume, EachVolumesTrashIsMeasuredAndEmptiedItemByItem) {
  const QString uid = QString::number(getuid());
  write(volume + "/report.txt", bytes(4321));
  write(volume + "/photos/a.jpg", bytes(1000));
  run("trash-put", {volume + "/report.txt", volume + "/photos"});
  const QString trash = volume + "/.Trash-" + uid;
  ASSERT_TRUE(QFile::exists(trash + "/info/report.txt.trashinfo")) << "trash-cli used the volume";
  run("gio", {"trash", write(home() + "/home.txt", bytes(10))});

  // A shared .Trash that is a link is no trash folder: what it leads to is
  // neither measured nor touched.
  const QString decoy = write(home() + "/decoy/" + uid + "/files/precious", bytes(777));
  link(home() + "/decoy", volume + "/.Trash");

  EXPECT_EQ(trashFolders(PrivacyEnvironment::current()),
            QStringList({dataHome() + "/Trash", trash}));
  EXPECT_EQ(sizeOf(privacyItems(), "recyclebin"), findBytes({dataHome() + "/Trash", trash}));

  PrivacyCleaner().cleanPrivacyItems("[\"recyclebin\"]");
  EXPECT_EQ(listing(trash + "/files"), QStringList());
  EXPECT_EQ(listing(trash + "/info"), QStringList());
  EXPECT_EQ(run("trash-list", {}), QByteArray());
  EXPECT_TRUE(QFile::exists(decoy));
  EXPECT_EQ(sizeOf(privacyItems(), "recyclebin"), 0);
}

TEST_F(TrashVolume, AStickySharedTrashHoldsTheUsersFolder) {
  const QString uid = QString::number(getuid());
  QDir().mkpath(volume + "/.Trash");
  ASSERT_EQ(chmod(QFile::encodeName(volume + "/.Trash").constData(), 01777), 0);
  write(volume + "/.Trash/" + uid + "/files/old.txt", bytes(50));
  write(volume + "/.Trash/" + uid + "/info/old.txt.trashinfo",
        "[Trash Info]\nPath=old.txt\nDeletionDate=2026-12-01T10:00:00\n");
  write(volume + "/.Trash/12345678/files/theirs.txt", bytes(60));
  EXPECT_EQ(trashFolders(PrivacyEnvironment::current()), QStringList({volume + "/.Trash/" + uid}));
  PrivacyCleaner().cleanPrivacyItems("[\"recyclebin\"]");
  EXPECT_EQ(listing(volume + "/.Trash/" + uid), QStringList({"files", "info"}));
  EXPECT_TRUE(QFile::exists(volume + "/.Trash/12345678/files/theirs.txt"));

  // Without the sticky bit anyone could have made it: not a trash folder.
  write(volume + "/.Trash/" + uid + "/files/again.txt", bytes(5));
  ASSERT_EQ(chmod(QFile::encodeName(volume + "/.Trash").constData(), 0777), 0);
  EXPECT_EQ(trashFolders(PrivacyEnvironment::current()), QStringList());
}

TEST_F(TrashVolume, AVolumeMountedInsideACacheIsNotEntered) {
  // The tmpfs mounted over a cache's subfolder: cleaning the cache must not
  // reach into it.
  const QString cache = cacheHome() + "/thumbnails";
  write(cache + "/normal/a.png", bytes(10));
  QDir().mkpath(cache + "/large");
  ASSERT_EQ(mount(QFile::encodeName(volume).constData(),
                  QFile::encodeName(cache + "/large").constData(), nullptr, MS_BIND, nullptr),
            0)
      << strerror(errno);
  write(volume + "/precious.txt", bytes(20));
  EXPECT_EQ(sizeOf(privacyItems(), "thumbcache"), 10);
  PrivacyCleaner().cleanPrivacyItems("[\"thumbcache\"]");
  EXPECT_TRUE(QFile::exists(volume + "/precious.txt"));
  EXPECT_FALSE(QFile::exists(cache + "/normal"));
  umount2(QFile::encodeName(cache + "/large").constData(), MNT_DETACH);
}

} // namespace
