// Both scans at the edges of the file system: names that are not valid
// UTF-8, trees deeper than PATH_MAX, FIFOs, pseudo file systems, hard links
// and folder names that look like %NAME% references.
#include "disk/DuplicateFileFinder.h"
#include "disk/FileDigest.h"
#include "disk/LargeFileScanner.h"
#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"

#include "DiskTestSupport.h"
#include "tests/support/MountAndMemory.h"

#include <QElapsedTimer>
#include <QJsonArray>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QStringList pathsOf(const QJsonArray &records) {
  QStringList paths;
  for (const QJsonValue &record : records)
    paths.append(record.toObject().value("path").toString());
  return paths;
}

QStringList largeFiles(const QString &folders, bool async) {
  LargeFileScanner scanner;
  if (!async)
    return pathsOf(parseObject(scanner.scanLargeFiles(folders, 0)).value("list").toArray());
  auto log = MessageLog::create();
  scanner.startScanLargeFiles(folders, 0, log->callback(log));
  EXPECT_TRUE(log->waitForEnd(std::chrono::seconds(60)));
  return pathsOf(parseObject(log->last().data).value("list").toArray());
}

// Every path in every group, group by group.
QList<QStringList> duplicateGroups(const QString &folders, bool async) {
  DuplicateFileFinder finder;
  QString text;
  if (async) {
    auto log = MessageLog::create();
    finder.startScanDuplicateFiles(folders, log->callback(log));
    EXPECT_TRUE(log->waitForEnd(std::chrono::seconds(60)));
    text = log->last().data;
  } else {
    text = finder.findDuplicateFiles(folders);
  }
  QList<QStringList> groups;
  for (const QJsonValue &group : parseObject(text).value("groups").toArray())
    groups.append(pathsOf(group.toObject().value("files").toArray()));
  return groups;
}

// The bytes-level path of a file made with a name the locale cannot decode.
QString writeRaw(const TempTree &tree, const QByteArray &relative, const QByteArray &content) {
  const QByteArray path = QFile::encodeName(tree.root()) + '/' + relative;
  const int slash = path.lastIndexOf('/');
  ::mkdir(path.left(slash).constData(), 0755);
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
  ::close(fd);
  return FileName::fromBytes(path);
}

class BothForms : public ::testing::TestWithParam<bool> {};

TEST_P(BothForms, NamesThatAreNotUtf8AreFoundAndNameTheirFiles) {
  TempTree tree;
  // A folder and a file named in Windows-1252 and GBK, as unpacked from zips.
  const QString first = writeRaw(tree, "caf\xE9/\xD6\xD0\xCE\xC4.txt", "same content");
  const QString second = writeRaw(tree, "plain.txt", "same content");
  const QStringList found = largeFiles(tree.root(), GetParam());
  EXPECT_TRUE(found.contains(first)) << found.join(", ").toStdString();
  const QList<QStringList> groups = duplicateGroups(tree.root(), GetParam());
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(QSet<QString>(groups[0].begin(), groups[0].end()), QSet<QString>({first, second}));
  // The path that came back as JSON text opens the file.
  FileDigest digest;
  EXPECT_EQ(digest.ofFile(first), digest.ofFile(second));
  EXPECT_FALSE(digest.ofFile(first).isEmpty());
  // QTemporaryDir cannot remove what it cannot name.
  const UniqueFd root = FileWalker::openDirectory(QFile::encodeName(tree.root()), false);
  EXPECT_TRUE(FileWalker::removeTree(root.get(), "caf\xE9"));
}

TEST_P(BothForms, TreesDeeperThanPathMaxAreScannedWhole) {
  TempTree tree;
  const int depth = 5000;
  QByteArray relative;
  for (int i = 0; i < depth; ++i)
    relative += "d/";
  // Made level by level: the whole path is longer than the kernel takes.
  int fd = ::open(QFile::encodeName(tree.root()).constData(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < depth; ++i) {
    ::mkdirat(fd, "d", 0755);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  for (const char *name : {"deep1", "deep2"}) {
    const int out = ::openat(fd, name, O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(out, "bottom", 6), 6);
    ::close(out);
  }
  ::close(fd);
  const QString deep1 = tree.root() + '/' + QString::fromLatin1(relative) + "deep1";
  const QString deep2 = tree.root() + '/' + QString::fromLatin1(relative) + "deep2";
  ASSERT_GT(deep1.size(), PATH_MAX);
  EXPECT_EQ(setOf(largeFiles(tree.root(), GetParam())), QSet<QString>({deep1, deep2}));
  const QList<QStringList> groups = duplicateGroups(tree.root(), GetParam());
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(setOf(groups[0]), QSet<QString>({deep1, deep2}));
  // Too deep for QTemporaryDir to remove.
  QByteArray name;
  const UniqueFd parent = FileWalker::openParent(QFile::encodeName(tree.path("d")), name);
  EXPECT_TRUE(FileWalker::removeTree(parent.get(), name));
}

TEST_P(BothForms, FifosAndPseudoFileSystemsEndTheScanPromptly) {
  TempTree tree;
  const QString a = tree.write("a", "pair");
  const QString b = tree.write("b", "pair");
  ASSERT_EQ(::mkfifo(QFile::encodeName(tree.path("pipe")).constData(), 0644), 0);
  ASSERT_EQ(::symlink("/proc", QFile::encodeName(tree.path("proc-link")).constData()), 0);
  ASSERT_EQ(::symlink("/sys", QFile::encodeName(tree.path("sys-link")).constData()), 0);
  const QByteArray mountPoint = QFile::encodeName(tree.mkdir("proc"));
  const bool mounted = ::mount("/proc", mountPoint.constData(), nullptr, MS_BIND, nullptr) == 0;
  QElapsedTimer timer;
  timer.start();
  const QList<QStringList> groups = duplicateGroups(tree.root(), GetParam());
  const QStringList large = largeFiles(tree.root(), GetParam());
  // /proc and /sys themselves, given as folders, are not walked at all.
  const QList<QStringList> pseudo = duplicateGroups("/proc/self,/sys/kernel", GetParam());
  if (mounted)
    ::umount2(mountPoint.constData(), MNT_DETACH);
  EXPECT_LT(timer.elapsed(), 20000);
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(setOf(groups[0]), QSet<QString>({a, b}));
  EXPECT_EQ(setOf(large), QSet<QString>({a, b}));
  EXPECT_TRUE(pseudo.isEmpty());
  if (!mounted)
    GTEST_SKIP() << "bind mounts are not allowed here; links into /proc and /sys were checked";
}

// A folder and a file of the same disk mounted inside the scanned folder:
// same device number, another mount.
TEST_P(BothForms, BindMountsFromTheSameDiskAreNotEntered) {
  TempTree tree;
  const QString a = tree.write("outside/a", "pair");
  tree.write("outside/b", "pair");
  const QString mine = tree.write("scan/mine", "solo");
  tree.mkdir("scan/inner");
  tree.write("scan/over", "");
  const BindMount folder(QFile::encodeName(tree.path("outside")),
                         QFile::encodeName(tree.path("scan/inner")));
  TW_MOUNTED_OR_RERUN(folder);
  const BindMount file(QFile::encodeName(a), QFile::encodeName(tree.path("scan/over")));
  EXPECT_EQ(largeFiles(tree.path("scan"), GetParam()), QStringList({mine}));
  EXPECT_TRUE(duplicateGroups(tree.path("scan"), GetParam()).isEmpty());
}

TEST_P(BothForms, HardLinksAreOneFile) {
  TempTree tree;
  const QString original = tree.write("one/original", "linked content");
  ASSERT_EQ(::link(QFile::encodeName(original).constData(),
                   QFile::encodeName(tree.mkdir("two") + "/link").constData()),
            0);
  // Two names of one file are no duplicates: deleting one frees nothing.
  EXPECT_TRUE(duplicateGroups(tree.root(), GetParam()).isEmpty());
  // With a real copy, the file is grouped once, under the name found first.
  const QString copy = tree.write("three/copy", "linked content");
  const QList<QStringList> groups = duplicateGroups(tree.root(), GetParam());
  ASSERT_EQ(groups.size(), 1);
  ASSERT_EQ(groups[0].size(), 2);
  EXPECT_TRUE(groups[0].contains(copy));
}

INSTANTIATE_TEST_SUITE_P(Scans, BothForms, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                           return info.param ? "Async" : "Sync";
                         });

TEST(LargeFileScanAsync, FoldersItFindsAreNeverExpanded) {
  TempTree tree;
  qputenv("TW_SCAN_TEST_NAME", "elsewhere");
  const QString inside = tree.write("top/%TW_SCAN_TEST_NAME%/kept.bin", "x");
  EXPECT_EQ(largeFiles(tree.path("top"), true), QStringList({inside}));
  // A folder the caller gives is expanded.
  qputenv("TW_SCAN_TEST_ROOT", tree.root().toLocal8Bit());
  EXPECT_EQ(largeFiles("%TW_SCAN_TEST_ROOT%/top", true), QStringList({inside}));
}

// 20,000 levels, as another user may leave in a shared folder: a path kept
// per level would take 800 MB.
TEST(LargeFileScanAsync, ADeepTreeIsScannedInBoundedMemory) {
  TempTree tree;
  int fd = ::open(QFile::encodeName(tree.root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 20000 && fd >= 0; ++i) {
    ::mkdirat(fd, "d", 0755);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  const int out = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(::write(out, "bottom", 6), 6);
  ::close(out);
  ::close(fd);
  const bool reset = resetPeakMemory();
  const qint64 before = peakMemoryKiB();
  const QStringList found = largeFiles(tree.root(), true);
  const qint64 grown = peakMemoryKiB() - before;
  ASSERT_EQ(found.size(), 1);
  EXPECT_TRUE(found[0].endsWith("/d/d/bottom"));
  // Too deep for QTemporaryDir to remove.
  const UniqueFd root = FileWalker::openDirectory(QFile::encodeName(tree.root()), false);
  EXPECT_TRUE(FileWalker::removeTree(root.get(), "d"));
  if (!reset)
    GTEST_SKIP() << "the peak memory of this process cannot be measured here";
  EXPECT_LT(grown, 64 * 1024) << "at most 64 MiB more at the peak";
}

} // namespace
