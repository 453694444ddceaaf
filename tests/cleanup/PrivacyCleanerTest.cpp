// getPrivacyItems and cleanPrivacyItems over real trees in the test's own
// HOME and XDG folders, checked against find, gio, trash-cli and the log.
#include "tests/cleanup/PrivacyTestSupport.h"

#include <QXmlStreamReader>

#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "tests/support/MountAndMemory.h"
#include "tests/system/LogLines.h"

namespace {

const QStringList allTypes = {"thumbcache", "recent", "temp", "prefetch",
                              "recyclebin", "chrome", "edge", "firefox"};

const QByteArray recentList =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/user/report.odt" added="2026-12-01T10:00:00Z" modified="2026-12-01T10:00:00Z" visited="2026-12-01T10:00:00Z">
    <info><metadata owner="http://freedesktop.org"><mime:mime-type type="application/vnd.oasis.opendocument.text"/></metadata></info>
  </bookmark>
  <bookmark href="file:///home/user/photo.jpg" added="2026-12-02T10:00:00Z" modified="2026-12-02T10:00:00Z" visited="2026-12-02T10:00:00Z"/>
</xbel>
)";

QString uid() {
  return QString::number(getuid());
}

void makeSocket(const QString &path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  ASSERT_LT(size_t(name.size()), sizeof address.sun_path);
  memcpy(address.sun_path, name.constData(), size_t(name.size()));
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  close(fd);
}

// The trees of every category, as a user's machine holds them.
struct Trees {
  QString chromeDefault = cacheHome() + "/google-chrome/Default";
  QString chromeProfile1 = cacheHome() + "/google-chrome/Profile 1";
  QString chromiumFlatpak = home() + "/.var/app/org.chromium.Chromium/cache/chromium/Default";
  QString chromiumSnap = home() + "/snap/chromium/common/.cache/chromium/Default";
  QString edgeDefault = cacheHome() + "/microsoft-edge/Default";
  QString firefoxEsrCache = cacheHome() + "/mozilla/firefox/abcd.default-esr/cache2";
  QString firefoxOtherProfile = home() + "/elsewhere/xyz.other";
  QString outside = home() + "/outside";

  QStringList chromeCaches() const {
    return {chromeDefault + "/Cache", chromeDefault + "/Code Cache", chromeProfile1 + "/Cache",
            chromiumFlatpak + "/Cache", chromiumSnap + "/Code Cache"};
  }
  QStringList firefoxCaches() const { return {firefoxEsrCache, firefoxOtherProfile + "/cache2"}; }
  QStringList thumbnails() const { return {cacheHome() + "/thumbnails", home() + "/.thumbnails"}; }

  Trees() {
    write(outside + "/keep.txt", bytes(77));
    write(outside + "/deeper/keep2.txt", bytes(33));

    const QString thumbs = cacheHome() + "/thumbnails";
    write(thumbs + "/normal/0a1b.png", bytes(1000));
    hardLink(thumbs + "/normal/0a1b.png", thumbs + "/normal/0a1b-again.png");
    write(thumbs + "/large/2c3d.png", bytes(3000));
    write(thumbs + "/fail/gnome-thumbnail-factory/4e5f.png", bytes(10));
    link(outside, thumbs + "/normal/outside");
    write(home() + "/.thumbnails/normal/legacy.png", bytes(500));

    write(dataHome() + "/recently-used.xbel", recentList);
    write(dataHome() + "/RecentDocuments/report.odt.desktop", bytes(200));

    write(chromeDefault + "/Cache/Cache_Data/data_0", bytes(8192));
    write(chromeDefault + "/Cache/Cache_Data/f_000001", bytes(5000));
    writeBytes(QFile::encodeName(chromeDefault) + "/Cache/Cache_Data/\xff\xfe-entry", bytes(64));
    write(chromeDefault + "/Code Cache/js/index", bytes(100));
    write(chromeDefault + "/Local Storage/leveldb/000003.log", bytes(50)); // not a cache
    write(chromeProfile1 + "/Cache/Cache_Data/data_1", bytes(700));
    write(cacheHome() + "/google-chrome/ShaderCache/x", bytes(40)); // not a profile
    write(chromiumFlatpak + "/Cache/Cache_Data/data_0", bytes(900));
    EXPECT_EQ(mkfifo(QFile::encodeName(chromiumFlatpak + "/Cache/pipe").constData(), 0600), 0);
    link(outside, chromiumFlatpak + "/Cache/Cache_Data/outside");
    link(outside + "/keep.txt", chromiumFlatpak + "/Cache/Cache_Data/keep-link");
    write(chromiumSnap + "/Code Cache/js/index", bytes(400));
    write(edgeDefault + "/Cache/Cache_Data/data_0", bytes(321));

    write(home() + "/.mozilla/firefox/profiles.ini",
          "[Install4F96D1932A9F858E]\nDefault=abcd.default-esr\nLocked=1\n\n"
          "[Profile1]\nName=other\nIsRelative=0\nPath=" +
              QFile::encodeName(firefoxOtherProfile) +
              "\n\n[Profile0]\nName=default-esr\nIsRelative=1\nPath=abcd.default-esr\n"
              "Default=1\n\n[General]\nStartWithLastProfile=1\nVersion=2\n");
    QDir().mkpath(home() + "/.mozilla/firefox/abcd.default-esr");
    write(firefoxEsrCache + "/entries/A1B2", bytes(4000));
    write(firefoxEsrCache + "/entries/C3D4", bytes(20));
    QDir().mkpath(firefoxEsrCache + "/doomed");
    write(cacheHome() + "/mozilla/firefox/abcd.default-esr/startupCache/scache.lz4", bytes(60));
    write(firefoxOtherProfile + "/cache2/entries/E5F6", bytes(300));
    write(cacheHome() + "/mozilla/firefox/zzzz.default-release/cache2/entries/G7", bytes(999));
  }
};

// Temporary files of every kind the rules tell apart; the ones to go are
// two hours old.
struct TempTree {
  QString folder = tempFolder();
  std::unique_ptr<RunningProcess> holder;

  TempTree() {
    write(folder + "/old.bin", bytes(2000));
    write(folder + "/sub/old2.bin", bytes(300));
    hardLink(folder + "/old.bin", folder + "/sub/hard.bin");
    writeBytes(QFile::encodeName(folder) + "/sub/caf\xe9.tmp", bytes(30));
    write(folder + "/held.bin", bytes(4096));
    write(folder + "/qipc_sharedmemory_TidewellKey", bytes(1));
    write(folder + "/systemd-private-0123-colord.service-abc/tmp/x", bytes(9));
    write(folder + "/.X11-unix/leftover", bytes(5));
    write(folder + "/emptyold/.keep-me-not", QByteArray());
    QFile::remove(folder + "/emptyold/.keep-me-not");
    makeSocket(folder + "/sock");
    EXPECT_EQ(mkfifo(QFile::encodeName(folder + "/pipe").constData(), 0600), 0);
    link(folder + "/old.bin", folder + "/oldlink");
    for (const char *entry :
         {"old.bin", "sub/old2.bin", "sub/caf\xe9.tmp", "sub", "held.bin",
          "qipc_sharedmemory_TidewellKey", "systemd-private-0123-colord.service-abc/tmp/x",
          "systemd-private-0123-colord.service-abc/tmp", "systemd-private-0123-colord.service-abc",
          ".X11-unix/leftover", ".X11-unix", "emptyold", "sock", "pipe", "oldlink"})
      age(QFile::encodeName(folder) + '/' + entry, 2 * 60 * 60);
    write(folder + "/fresh.bin", bytes(1500));
    holder = std::make_unique<RunningProcess>(folder + "/held.bin");
  }

  // What the rules let go, by find: the user's regular files older than an
  // hour, outside the excluded names, less the one held open.
  qint64 eligibleBytes() const {
    return findBytes({folder}, {"-user", uid(), "-mmin", "+60", "!", "-name", "qipc_*", "!",
                                "-path", "*/systemd-private-*", "!", "-path", "*/.X11-unix/*", "!",
                                "-name", "held.bin"});
  }
};

using PrivacyItems = PrivacyTest;
using PrivacyClean = PrivacyTest;

TEST_F(PrivacyItems, EightItemsInTableOrderWithTheirTextsPathsAndKeyOrder) {
  PrivacyCleaner cleaner;
  const QString text = cleaner.getPrivacyItems();
  // Qt's indented form, members ascending by key.
  EXPECT_TRUE(text.startsWith("{\n    \"list\": [\n        {\n            \"description\": "))
      << text.toStdString();
  const int description = text.indexOf("\"description\"");
  EXPECT_LT(description, text.indexOf("\"name\""));
  EXPECT_LT(text.indexOf("\"name\""), text.indexOf("\"path\""));
  EXPECT_LT(text.indexOf("\"path\""), text.indexOf("\"size\""));
  EXPECT_LT(text.indexOf("\"size\""), text.indexOf("\"type\""));

  const std::vector<PrivacyItem> items = privacyItems();
  ASSERT_EQ(items.size(), 8u);
  QStringList types;
  for (const PrivacyItem &item : items)
    types << item.type;
  EXPECT_EQ(types, allTypes);
  EXPECT_EQ(items[0].name, QString::fromUtf8("缩略图缓存"));
  EXPECT_EQ(items[0].description, QString::fromUtf8("Windows 图片缩略图缓存文件"));
  EXPECT_EQ(items[1].description, QString::fromUtf8("开始菜单和跳转列表中的最近文档记录"));
  EXPECT_EQ(items[3].name, QString::fromUtf8("Windows 预读取文件"));
  EXPECT_EQ(items[4].name, QString::fromUtf8("回收站"));
  EXPECT_EQ(items[7].description, QString::fromUtf8("Firefox 浏览器的网页缓存文件"));
  const QStringList paths = {cacheHome() + "/thumbnails",
                             dataHome() + "/recently-used.xbel",
                             tempFolder(),
                             QString(),
                             dataHome() + "/Trash",
                             cacheHome() + "/google-chrome",
                             cacheHome() + "/microsoft-edge",
                             home() + "/.mozilla/firefox"};
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].path, paths[int(i)]) << items[i].type.toStdString();
    EXPECT_EQ(items[i].size, 0) << items[i].type.toStdString() << " in empty folders";
  }
}

TEST_F(PrivacyItems, SizesEqualWhatFindCountsWithHardLinksOnce) {
  const Trees trees;
  const TempTree temp;
  const QString document = write(home() + "/report.txt", bytes(1234));
  write(home() + "/album/a.jpg", bytes(2222));
  write(home() + "/album/b.jpg", bytes(111));
  run("gio", {"trash", document, home() + "/album"});
  run("trash-put", {write(home() + "/notes.txt", bytes(555))});
  ASSERT_EQ(listing(dataHome() + "/Trash/files").size(), 5) << "gio and trash-cli trashed";

  const std::vector<PrivacyItem> items = privacyItems();
  EXPECT_EQ(sizeOf(items, "thumbcache"), findBytes(trees.thumbnails()));
  EXPECT_EQ(sizeOf(items, "thumbcache"), 1000 + 3000 + 10 + 500);
  EXPECT_EQ(sizeOf(items, "recent"),
            findBytes({dataHome() + "/recently-used.xbel", dataHome() + "/RecentDocuments"}));
  EXPECT_EQ(sizeOf(items, "temp"), temp.eligibleBytes());
  EXPECT_EQ(sizeOf(items, "temp"), 2000 + 300 + 30);
  EXPECT_EQ(sizeOf(items, "prefetch"), 0);
  EXPECT_EQ(sizeOf(items, "recyclebin"), findBytes({dataHome() + "/Trash"}));
  EXPECT_GT(sizeOf(items, "recyclebin"), 1234 + 2222 + 111 + 555);
  EXPECT_EQ(sizeOf(items, "chrome"), findBytes(trees.chromeCaches()));
  EXPECT_EQ(sizeOf(items, "chrome"), 8192 + 5000 + 64 + 100 + 700 + 900 + 400);
  EXPECT_EQ(sizeOf(items, "edge"), 321);
  EXPECT_EQ(sizeOf(items, "firefox"), findBytes(trees.firefoxCaches()));
  EXPECT_EQ(sizeOf(items, "firefox"), 4000 + 20 + 300);
}

TEST_F(PrivacyItems, AnEmptyRecentListCountsNothing) {
  PrivacyCleaner().cleanPrivacyItems("[\"recent\"]"); // no list yet: nothing to replace
  EXPECT_FALSE(QFile::exists(dataHome() + "/recently-used.xbel"));
  write(dataHome() + "/recently-used.xbel", recentList);
  EXPECT_EQ(sizeOf(privacyItems(), "recent"), recentList.size());
  PrivacyCleaner().cleanPrivacyItems("[\"recent\"]");
  EXPECT_EQ(sizeOf(privacyItems(), "recent"), 0);
}

TEST_F(PrivacyClean, EmptiesEveryCategoryAndKeepsWhatItMust) {
  const Trees trees;
  TempTree temp;
  run("gio", {"trash", write(home() + "/report.txt", bytes(1234)),
              write(home() + "/album/a.jpg", bytes(2222))});
  run("trash-put", {write(home() + "/notes.txt", bytes(555))});
  // An info file whose item is gone, as a crash between the two leaves it.
  write(dataHome() + "/Trash/info/vanished.txt.trashinfo",
        "[Trash Info]\nPath=/home/user/vanished.txt\nDeletionDate=2026-12-01T10:00:00\n");

  // A running Chrome and Firefox (their locks name live processes); Edge's
  // lock is left by a process that is gone.
  const RunningProcess chrome;
  const RunningProcess firefox;
  link(hostName() + '-' + QString::number(chrome.pid()),
       configHome() + "/google-chrome/SingletonLock");
  link("127.0.0.1:+" + QString::number(firefox.pid()),
       home() + "/.mozilla/firefox/abcd.default-esr/lock");
  link(hostName() + '-' + QString::number(deadPid()),
       configHome() + "/microsoft-edge/SingletonLock");
  const QStringList chromeBefore = listing(cacheHome() + "/google-chrome");
  const QStringList firefoxBefore = listing(trees.firefoxEsrCache);
  const qint64 runningChromeBytes =
      findBytes({trees.chromeDefault + "/Cache", trees.chromeDefault + "/Code Cache",
                 trees.chromeProfile1 + "/Cache"});

  LogLines log;
  PrivacyCleaner cleaner;
  const QString types = "[\"thumbcache\",\"recent\",\"temp\",\"prefetch\",\"recyclebin\","
                        "\"chrome\",\"edge\",\"firefox\"]";
  EXPECT_FALSE(cleaner.cleanPrivacyItems(types)) << "the running browsers' caches stayed";

  // Links are removed, their targets never.
  EXPECT_EQ(listing(trees.outside), QStringList({"deeper", "deeper/keep2.txt", "keep.txt"}));
  QFile kept(trees.outside + "/keep.txt");
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), bytes(77));

  for (const QString &folder : trees.thumbnails()) {
    EXPECT_TRUE(QFileInfo(folder).isDir()) << "the folder itself stays";
    EXPECT_EQ(listing(folder), QStringList()) << folder.toStdString();
  }

  // The recent list is an empty, valid list; KDE's folder is empty.
  QFile list(dataHome() + "/recently-used.xbel");
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  const QByteArray emptied = list.readAll();
  EXPECT_FALSE(emptied.contains("bookmark href"));
  const QByteArray parsed =
      run("/usr/bin/python3", {"-c",
                               "import sys, xml.dom.minidom as m; d = m.parse(sys.argv[1]); "
                               "r = d.documentElement; "
                               "print(r.tagName, r.getAttribute('version'), "
                               "len(r.getElementsByTagName('bookmark')))",
                               list.fileName()});
  EXPECT_EQ(parsed, "xbel 1.0 0\n");
  EXPECT_EQ(int(QFileInfo(list.fileName()).permissions() & (QFile::ReadOther | QFile::ReadGroup)),
            0);
  EXPECT_EQ(listing(dataHome() + "/RecentDocuments"), QStringList());
  EXPECT_EQ(listing(dataHome()).filter(".xbel."), QStringList()) << "no temporary list left";

  // Temporary files: only old, unheld, own regular files and emptied folders went.
  QStringList tempLeft = listing(temp.folder);
  EXPECT_EQ(tempLeft, QStringList({".X11-unix", ".X11-unix/leftover", "fresh.bin", "held.bin",
                                   "oldlink", "pipe", "qipc_sharedmemory_TidewellKey", "sock",
                                   "systemd-private-0123-colord.service-abc",
                                   "systemd-private-0123-colord.service-abc/tmp",
                                   "systemd-private-0123-colord.service-abc/tmp/x"}));

  // The trash is empty, by trash-cli's reading too, with no info file left.
  EXPECT_EQ(listing(dataHome() + "/Trash/files"), QStringList());
  EXPECT_EQ(listing(dataHome() + "/Trash/info"), QStringList());
  EXPECT_EQ(run("trash-list", {}), QByteArray());

  // The running Chrome's caches are untouched; Chromium's and the stale
  // Edge's are empty, their folders kept.
  EXPECT_EQ(listing(cacheHome() + "/google-chrome"), chromeBefore);
  for (const QString &folder : {trees.chromiumFlatpak + "/Cache",
                                trees.chromiumSnap + "/Code Cache", trees.edgeDefault + "/Cache"}) {
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(listing(folder), QStringList()) << folder.toStdString();
  }
  EXPECT_EQ(listing(trees.firefoxEsrCache), firefoxBefore);
  EXPECT_EQ(listing(trees.firefoxOtherProfile + "/cache2"), QStringList());
  EXPECT_TRUE(
      QFile::exists(cacheHome() + "/mozilla/firefox/zzzz.default-release/cache2/entries/G7"))
      << "a profile profiles.ini does not list is not ours to clean";
  EXPECT_TRUE(
      QFile::exists(cacheHome() + "/mozilla/firefox/abcd.default-esr/startupCache/scache.lz4"));

  // Measured again: what is left.
  const std::vector<PrivacyItem> items = privacyItems();
  QStringList order;
  for (const PrivacyItem &item : items)
    order << item.type;
  EXPECT_EQ(order, allTypes);
  EXPECT_EQ(sizeOf(items, "thumbcache"), 0);
  EXPECT_EQ(sizeOf(items, "recent"), 0);
  EXPECT_EQ(sizeOf(items, "temp"), 0);
  EXPECT_EQ(sizeOf(items, "recyclebin"), 0);
  EXPECT_EQ(sizeOf(items, "chrome"), runningChromeBytes);
  EXPECT_EQ(sizeOf(items, "edge"), 0);
  EXPECT_EQ(sizeOf(items, "firefox"), findBytes({trees.firefoxEsrCache}));

  // The log tells what was skipped and, per type, what was deleted.
  const std::vector<std::string> lines = log.messages();
  std::string summary;
  int skipped = 0;
  for (const std::string &line : lines) {
    if (line.find("clean privacy items. types=" + types.toStdString() + " success=false") !=
        std::string::npos)
      summary = line;
    if (line.find("is in use by a running browser") != std::string::npos)
      ++skipped;
  }
  EXPECT_EQ(skipped, 3 + 1) << "three Chrome caches and one Firefox cache";
  EXPECT_NE(summary.find("thumbcache: 11 deleted, 0 not deleted"), std::string::npos) << summary;
  EXPECT_NE(summary.find("recent: 2 deleted, 0 not deleted"), std::string::npos) << summary;
  EXPECT_NE(summary.find("recyclebin: 4 deleted, 0 not deleted"), std::string::npos) << summary;
  EXPECT_NE(summary.find("chrome: "), std::string::npos) << summary;
  EXPECT_NE(summary.find(", 3 skipped in use"), std::string::npos) << summary;
  EXPECT_NE(summary.find("firefox: "), std::string::npos) << summary;
  EXPECT_NE(summary.find("prefetch: 0 deleted, 0 not deleted"), std::string::npos) << summary;
}

TEST_F(PrivacyClean, ACacheDeeperThanPathMaxIsMeasuredAndEmptiedWhole) {
  const QString cache = cacheHome() + "/microsoft-edge/Default/Cache";
  QDir().mkpath(cache);
  int fd = open(QFile::encodeName(cache).constData(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  const char *name = "a-folder-name-of-32-bytes-length";
  const int depth = 200; // 200 * 33 bytes is well past PATH_MAX
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, name, 0700), 0);
    const int next = openat(fd, name, O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    ASSERT_GE(fd, 0);
  }
  const int file = openat(fd, "bottom", O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(::write(file, "12345", 5), 5);
  close(file);
  close(fd);
  EXPECT_EQ(sizeOf(privacyItems(), "edge"), 5);
  LogLines log;
  PrivacyCleaner().cleanPrivacyItems("[\"edge\"]");
  EXPECT_EQ(listing(cache), QStringList());
  bool found = false;
  for (const std::string &line : log.messages())
    found = found || line.find("edge: 201 deleted, 0 not deleted") != std::string::npos;
  EXPECT_TRUE(found);
}

TEST_F(PrivacyClean, WhatCannotBeDeletedIsCountedAndMakesSuccessFalse) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root deletes from a read-only folder; run as a normal user to check this";
  const QString cache = cacheHome() + "/thumbnails/normal";
  write(cache + "/a.png", bytes(10));
  write(cache + "/locked/b.png", bytes(20));
  QFile::setPermissions(cache + "/locked", QFile::ReadOwner | QFile::ExeOwner);
  LogLines log;
  EXPECT_TRUE(PrivacyCleaner().cleanPrivacyItems("[\"thumbcache\"]"));
  QFile::setPermissions(cache + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_FALSE(QFile::exists(cache + "/a.png"));
  EXPECT_TRUE(QFile::exists(cache + "/locked/b.png"));
  bool found = false;
  for (const std::string &line : log.messages())
    found = found ||
            line.find("success=false thumbcache: 1 deleted, 3 not deleted") != std::string::npos;
  EXPECT_TRUE(found) << "b.png, locked and normal are still there";
}

TEST_F(PrivacyClean, OtherUsersTemporaryFilesStay) {
  if (geteuid() != 0)
    GTEST_SKIP() << "making a file of another user needs root";
  const QString foreign = write(tempFolder() + "/someone-else.bin", bytes(100));
  ASSERT_EQ(chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
  age(foreign, 2 * 60 * 60);
  const QString mine = write(tempFolder() + "/mine.bin", bytes(10));
  age(mine, 2 * 60 * 60);
  EXPECT_EQ(sizeOf(privacyItems(), "temp"), 10);
  PrivacyCleaner().cleanPrivacyItems("[\"temp\"]");
  EXPECT_TRUE(QFile::exists(foreign));
  EXPECT_FALSE(QFile::exists(mine));
}

TEST_F(PrivacyClean, NothingIsCleanedForMalformedOrUnknownTypes) {
  const QString old = write(tempFolder() + "/old.bin", bytes(10));
  age(old, 2 * 60 * 60);
  write(cacheHome() + "/thumbnails/normal/a.png", bytes(10));
  LogLines log;
  PrivacyCleaner cleaner;
  for (const char *types : {"[]", "not json", "[\"Temp\"]", "{\"temp\":1}", "[1, null]"})
    EXPECT_TRUE(cleaner.cleanPrivacyItems(QString::fromUtf8(types))) << types;
  EXPECT_TRUE(QFile::exists(old));
  EXPECT_TRUE(QFile::exists(cacheHome() + "/thumbnails/normal/a.png"));
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], LogLines::native("NativeUtil", "clean privacy items. types=[] success=true"));
  EXPECT_EQ(lines[2],
            LogLines::native("NativeUtil", "clean privacy items. types=[\"Temp\"] success=true"));
}

TEST_F(PrivacyClean, ATemporaryFolderHoldingTheHomeFolderIsLeftAlone) {
  const QString document = write(home() + "/thesis.odt", bytes(100));
  age(document, 3 * 60 * 60);
  const QByteArray saved = qgetenv("TMPDIR");
  for (const QString &temp : {home(), home() + "/", QFileInfo(home()).path(), QString("/")}) {
    qputenv("TMPDIR", QFile::encodeName(temp));
    EXPECT_EQ(sizeOf(privacyItems(), "temp"), 0) << temp.toStdString();
    PrivacyCleaner().cleanPrivacyItems("[\"temp\"]");
  }
  qputenv("TMPDIR", saved);
  EXPECT_TRUE(QFile::exists(document));
}

TEST_F(PrivacyClean, ATypeNamedTwiceIsCleanedTwiceAndCountedOnce) {
  write(cacheHome() + "/thumbnails/normal/a.png", bytes(10));
  LogLines log;
  PrivacyCleaner().cleanPrivacyItems("[\"thumbcache\",\"prefetch\",\"thumbcache\"]");
  EXPECT_EQ(listing(cacheHome() + "/thumbnails"), QStringList());
  const std::vector<std::string> lines = log.messages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("success=true thumbcache: 2 deleted, 0 not deleted; prefetch: 0 "
                          "deleted, 0 not deleted"),
            std::string::npos)
      << lines[0];
}

TEST_F(PrivacyClean, ABindMountInsideACacheIsNeitherMeasuredNorEntered) {
  const QString outside = write(home() + "/outside/keep.txt", bytes(700));
  write(cacheHome() + "/thumbnails/normal/a.png", bytes(10));
  QDir().mkpath(cacheHome() + "/thumbnails/normal/mounted");
  const BindMount mount(QFile::encodeName(home() + "/outside"),
                        QFile::encodeName(cacheHome() + "/thumbnails/normal/mounted"));
  TW_MOUNTED_OR_RERUN(mount);
  EXPECT_EQ(sizeOf(privacyItems(), "thumbcache"), 10);
  EXPECT_FALSE(PrivacyCleaner().cleanPrivacyItems("[\"thumbcache\"]")) << "the mount point stayed";
  EXPECT_TRUE(QFile::exists(outside));
  EXPECT_FALSE(QFile::exists(cacheHome() + "/thumbnails/normal/a.png"));
}

// "Profile 1" turns into a link to another folder while Default's cache is
// being emptied: a second thread swaps it at the first deletion it sees.
TEST_F(PrivacyClean, AFolderSwappedForALinkMidCleanLeadsNowhere) {
  const QString chrome = cacheHome() + "/google-chrome";
  for (int i = 0; i < 2000; ++i)
    write(chrome + "/Default/Cache/Cache_Data/f_" + QString::number(i), bytes(1));
  write(chrome + "/Profile 1/Cache/data_0", bytes(10));
  const QString victim = write(home() + "/outside/Cache/victim.txt", bytes(5));
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch,
                              QFile::encodeName(chrome + "/Default/Cache/Cache_Data").constData(),
                              IN_DELETE),
            0);
  std::thread swapper([&] {
    char event[4096];
    pollfd ready = {watch, POLLIN, 0};
    if (poll(&ready, 1, 60000) != 1 || read(watch, event, sizeof event) <= 0)
      return; // no deletion at all: the assertions below tell
    rename(QFile::encodeName(chrome + "/Profile 1").constData(),
           QFile::encodeName(chrome + "/moved").constData());
    symlink(QFile::encodeName(home() + "/outside").constData(),
            QFile::encodeName(chrome + "/Profile 1").constData());
  });
  const bool cleaned = PrivacyCleaner().cleanPrivacyItems("[\"chrome\"]");
  swapper.join();
  close(watch);
  ASSERT_TRUE(QFileInfo(chrome + "/Profile 1").isSymLink()) << "swapped during the clean";
  EXPECT_TRUE(QFile::exists(victim));
  EXPECT_FALSE(cleaned) << "Profile 1's cache stayed";
  EXPECT_EQ(listing(chrome + "/Default/Cache"), QStringList());
}

// 20,000 levels, a path of 40,000 bytes at the bottom: a path kept per level
// would take 400 MB.
TEST_F(PrivacyClean, ADeepCacheIsMeasuredAndEmptiedInBoundedMemory) {
  const QString top = cacheHome() + "/thumbnails/normal";
  QDir().mkpath(top);
  int fd = open(QFile::encodeName(top).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 20000 && fd >= 0; ++i) {
    mkdirat(fd, "d", 0700);
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  const int file = openat(fd, "bottom.png", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::write(file, "12345", 5), 5);
  close(file);
  close(fd);
  if (!resetPeakMemory())
    GTEST_SKIP() << "the peak memory of this process cannot be measured here";
  const qint64 before = peakMemoryKiB();
  EXPECT_EQ(sizeOf(privacyItems(), "thumbcache"), 5);
  EXPECT_TRUE(PrivacyCleaner().cleanPrivacyItems("[\"thumbcache\"]"));
  EXPECT_LT(peakMemoryKiB() - before, 64 * 1024) << "at most 64 MiB more at the peak";
  EXPECT_EQ(listing(cacheHome() + "/thumbnails"), QStringList());
}

TEST_F(PrivacyClean, ARecentListThatIsALinkIsLeftAlone) {
  const QString target = write(home() + "/documents/list.xbel", recentList);
  link(target, dataHome() + "/recently-used.xbel");
  EXPECT_EQ(sizeOf(privacyItems(), "recent"), 0);
  EXPECT_TRUE(PrivacyCleaner().cleanPrivacyItems("[\"recent\"]"));
  EXPECT_TRUE(QFileInfo(dataHome() + "/recently-used.xbel").isSymLink());
  QFile list(target);
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_EQ(list.readAll(), recentList);
}

} // namespace
