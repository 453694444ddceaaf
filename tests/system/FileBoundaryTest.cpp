// Copies, deletes and hashes at the edges of the file system: links, device
// nodes, FIFOs, unreadable sources, trees deeper than PATH_MAX and names
// that are not valid UTF-8.
#include <gtest/gtest.h>

#include "disk/LargeFileScanner.h"
#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"
#include "system/FileService.h"
#include "tests/support/MountAndMemory.h"
#include "tests/system/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

class FileBoundaryTest : public ::testing::Test {
protected:
  QString path(const QString &name) const { return dir.filePath(name); }
  QByteArray bytes(const QString &name) const { return QFile::encodeName(path(name)); }
  bool isLink(const QString &name) const { return QFileInfo(path(name)).isSymLink(); }

  QTemporaryDir dir;
  FileService files;
};

TEST_F(FileBoundaryTest, RemovingALinkNeverTouchesWhatItPointsAt) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("target/sub"));
  ASSERT_TRUE(writeFile(path("target/sub/keep.txt"), "keep"));
  ASSERT_TRUE(QFile::link(path("target"), path("folder-link")));
  EXPECT_TRUE(files.removeDir(path("folder-link")));
  EXPECT_FALSE(isLink("folder-link"));
  EXPECT_EQ(readFile(path("target/sub/keep.txt")), "keep");

  // Links below the folder removed go, their targets stay.
  ASSERT_TRUE(QDir(dir.path()).mkpath("tree/inner"));
  ASSERT_TRUE(QFile::link(path("target"), path("tree/inner/out")));
  ASSERT_TRUE(QFile::link(path("target/sub/keep.txt"), path("tree/file-out")));
  EXPECT_TRUE(files.removeDir(path("tree")));
  EXPECT_FALSE(QFileInfo::exists(path("tree")));
  EXPECT_EQ(readFile(path("target/sub/keep.txt")), "keep");

  ASSERT_TRUE(QFile::link(path("target/sub/keep.txt"), path("file-link")));
  EXPECT_TRUE(files.removeFile(path("file-link")));
  EXPECT_FALSE(isLink("file-link"));
  EXPECT_EQ(readFile(path("target/sub/keep.txt")), "keep");
  // A folder is not a file, and a file is not removed as a folder.
  EXPECT_FALSE(files.removeFile(path("target/sub")));
  EXPECT_FALSE(files.removeDir(path("target/sub/keep.txt")));
  EXPECT_EQ(readFile(path("target/sub/keep.txt")), "keep");
}

// 20,000 levels: a path kept per level would take 400 MB.
TEST_F(FileBoundaryTest, RemoveDirRemovesADeepTreeInBoundedMemory) {
  ASSERT_EQ(::mkdir(bytes("deep").constData(), 0755), 0);
  int fd = ::open(bytes("deep").constData(), O_RDONLY | O_DIRECTORY);
  const int depth = 20000;
  for (int i = 0; i < depth; ++i) {
    ::mkdirat(fd, "d", 0755);
    const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  ::close(::openat(fd, "f", O_WRONLY | O_CREAT, 0644));
  ::close(fd);
  const bool reset = resetPeakMemory();
  const qint64 before = peakMemoryKiB();
  EXPECT_TRUE(files.removeDir(path("deep")));
  EXPECT_FALSE(QFileInfo::exists(path("deep")));
  if (!reset)
    GTEST_SKIP() << "the peak memory of this process cannot be measured here";
  EXPECT_LT(peakMemoryKiB() - before, 64 * 1024) << "at most 64 MiB more at the peak";
}

// What the uninstaller's removeDir meets: a folder of the same disk mounted
// inside the folder it removes.
TEST_F(FileBoundaryTest, RemoveDirNeverRemovesThroughABindMount) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("outside"));
  ASSERT_TRUE(QDir(dir.path()).mkpath("install/inner"));
  ASSERT_TRUE(writeFile(path("outside/keep.txt"), "keep"));
  ASSERT_TRUE(writeFile(path("install/app.bin"), "app"));
  const BindMount mount(bytes("outside"), bytes("install/inner"));
  TW_MOUNTED_OR_RERUN(mount);
  EXPECT_FALSE(files.removeDir(path("install")));
  EXPECT_FALSE(files.removeDir(path("install/inner")));
  EXPECT_EQ(readFile(path("outside/keep.txt")), "keep");
  EXPECT_FALSE(QFileInfo::exists(path("install/app.bin")));
}

// A NUL ends a path at the kernel: "outside\0/x/../victim.txt" would name
// outside/victim.txt.
TEST_F(FileBoundaryTest, APathHoldingNulIsRefused) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("outside/x"));
  ASSERT_TRUE(writeFile(path("outside/victim.txt"), "victim"));
  const QString cut = path("outside") + QChar(0) + "/x/../victim.txt";
  EXPECT_FALSE(files.removeFile(cut));
  EXPECT_FALSE(files.removeDir(path("outside") + QChar(0) + "/x"));
  EXPECT_FALSE(files.copyFile(path("outside/victim.txt"), cut + ".copy", false));
  EXPECT_FALSE(files.copyFile(cut, path("copied"), false));
  EXPECT_EQ(files.getFileSha256(cut), "");
  EXPECT_FALSE(files.mkdir(path("made") + QChar(0) + "/x"));
  EXPECT_EQ(readFile(path("outside/victim.txt")), "victim");
  EXPECT_TRUE(QFileInfo(path("outside/x")).isDir());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList({"outside"}));
}

TEST_F(FileBoundaryTest, CopyNeverDestroysItsSourceOrAForeignDestination) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("x"));
  ASSERT_TRUE(writeFile(path("x/f"), "the only copy"));
  // The same file by another spelling, and through a hard link.
  EXPECT_FALSE(files.copyFile(path("x/f"), dir.path() + "/x/./f", true));
  EXPECT_FALSE(files.copyFile(path("x/f"), dir.path() + "/x/../x/f", true));
  ASSERT_EQ(::link(bytes("x/f").constData(), bytes("x/hard").constData()), 0);
  EXPECT_FALSE(files.copyFile(path("x/f"), path("x/hard"), true));
  EXPECT_EQ(readFile(path("x/f")), "the only copy");

  // A folder and a FIFO are never replaced; a link to a folder neither.
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
  ASSERT_EQ(::mkfifo(bytes("pipe").constData(), 0644), 0);
  ASSERT_TRUE(QFile::link(path("folder"), path("folder-link")));
  EXPECT_FALSE(files.copyFile(path("x/f"), path("folder"), true));
  EXPECT_FALSE(files.copyFile(path("x/f"), path("pipe"), true));
  EXPECT_FALSE(files.copyFile(path("x/f"), path("folder-link"), true));
  EXPECT_TRUE(QFileInfo(path("folder")).isDir());
  EXPECT_TRUE(isLink("folder-link"));
  struct stat status;
  ASSERT_EQ(::lstat(bytes("pipe").constData(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));

  // A link to a file is replaced itself; the file it pointed at stays.
  ASSERT_TRUE(writeFile(path("other"), "other"));
  ASSERT_TRUE(QFile::link(path("other"), path("file-link")));
  EXPECT_TRUE(files.copyFile(path("x/f"), path("file-link"), true));
  EXPECT_FALSE(isLink("file-link"));
  EXPECT_EQ(readFile(path("file-link")), "the only copy");
  EXPECT_EQ(readFile(path("other")), "other");
  // A link as source is no regular file.
  EXPECT_FALSE(files.copyFile(path("folder-link"), path("copied-link"), false));
  EXPECT_FALSE(QFileInfo::exists(path("copied-link")) || isLink("copied-link"));
}

TEST_F(FileBoundaryTest, CopyOntoADeviceNodeLeavesTheDevice) {
  ASSERT_TRUE(writeFile(path("a"), "data"));
  // A node like /dev/null, made in the temporary folder.
  if (::mknod(bytes("null").constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "mknod is not allowed here";
  EXPECT_FALSE(files.copyFile(path("a"), path("null"), true));
  struct stat status;
  ASSERT_EQ(::lstat(bytes("null").constData(), &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
  EXPECT_EQ(status.st_rdev, makedev(1, 3));
}

TEST_F(FileBoundaryTest, SourcesThatAreNotRegularFilesFailAtOnce) {
  ASSERT_EQ(::mkfifo(bytes("pipe").constData(), 0644), 0);
  QElapsedTimer timer;
  timer.start();
  EXPECT_FALSE(files.copyFile(path("pipe"), path("from-pipe"), true));
  EXPECT_FALSE(files.copyFile(QStringLiteral("/dev/zero"), path("from-zero"), true));
  EXPECT_EQ(files.getFileSha256(path("pipe")), "");
  EXPECT_EQ(files.getFileSha256(QStringLiteral("/dev/zero")), "");
  EXPECT_EQ(files.getFileSha256(QStringLiteral("/proc/self/pagemap")), "");
  EXPECT_LT(timer.elapsed(), 5000);
  EXPECT_FALSE(QFileInfo::exists(path("from-pipe")));
  EXPECT_FALSE(QFileInfo::exists(path("from-zero")));
}

TEST_F(FileBoundaryTest, AnUnreadableSourceLeavesTheDestination) {
  ASSERT_TRUE(writeFile(path("secret"), "new"));
  ASSERT_TRUE(writeFile(path("dest"), "old"));
  ASSERT_TRUE(QFile::setPermissions(path("secret"), {}));
  bool copied;
  {
    WithoutReadOverride guard;
    if (!guard.active())
      GTEST_SKIP() << "cannot drop the read override capability";
    copied = files.copyFile(path("secret"), path("dest"), true);
  }
  EXPECT_FALSE(copied);
  EXPECT_EQ(readFile(path("dest")), "old");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"dest", "secret"})); // no temporary copy left behind
}

// Found by a scan, sent as JSON, and given back: the same file is hashed,
// copied and deleted.
TEST_F(FileBoundaryTest, ANameThatIsNotUtf8RoundTripsFromAScan) {
  const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xE9 \xD6\xD0.txt";
  const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "abc", 3), 3);
  ::close(fd);
  const QByteArray json = LargeFileScanner().scanLargeFiles(dir.path(), 0).toUtf8();
  const QJsonArray list = QJsonDocument::fromJson(json).object().value("list").toArray();
  ASSERT_EQ(list.size(), 1);
  const QString found = list.at(0).toObject().value("path").toString();
  EXPECT_EQ(FileName::toBytes(found), raw);
  EXPECT_EQ(files.getFileSha256(found),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(files.copyFile(found, found + ".copy", false));
  char copied[8] = {};
  const int in = ::open((raw + ".copy").constData(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(::read(in, copied, sizeof copied), 3);
  ::close(in);
  EXPECT_STREQ(copied, "abc");
  EXPECT_TRUE(files.removeFile(found));
  EXPECT_NE(::access(raw.constData(), F_OK), 0);
  EXPECT_TRUE(files.removeFile(found + ".copy"));

  // A folder named so, and one below it, made from the same text.
  const QString folder = found.chopped(4) + "/inner";
  EXPECT_TRUE(files.mkdir(folder));
  struct stat made {};
  EXPECT_EQ(::stat((raw.chopped(4) + "/inner").constData(), &made), 0);
  EXPECT_TRUE(S_ISDIR(made.st_mode));
  EXPECT_FALSE(files.mkdir(QString()));
}

} // namespace
