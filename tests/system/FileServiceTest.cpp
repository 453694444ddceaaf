#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/file.h>

#include "system/FileService.h"
#include "tests/system/LogLines.h"
#include "tests/system/TestFiles.h"

namespace {

std::string line(const std::string &text) {
  return LogLines::native("NativeUtil", text);
}

class FileServiceTest : public ::testing::Test {
protected:
  QString path(const QString &name) const { return dir.filePath(name); }
  std::string utf8(const QString &name) const { return path(name).toStdString(); }

  QTemporaryDir dir;
  FileService files;
};

TEST_F(FileServiceTest, CopyToNewDestinationCopiesContent) {
  ASSERT_TRUE(writeFile(path("a.txt"), "alpha"));
  LogLines log;
  EXPECT_TRUE(files.copyFile(path("a.txt"), path("b.txt"), false));
  EXPECT_EQ(readFile(path("b.txt")), "alpha");
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("copy file from " + utf8("a.txt") + " to " +
                                           utf8("b.txt") + ". overwrite: false"),
                                      line("copy file result: true")}));
}

// A copy killed mid-way (an installer, say) leaves its hidden partial file;
// the next copy of that file removes it, and only it: not one another copy
// still writes (it holds it locked), not another file's, not a link.
TEST_F(FileServiceTest, CopyRemovesThePartialFileAKilledCopyLeft) {
  ASSERT_TRUE(writeFile(path("a.txt"), "alpha"));
  for (const char *name : {".b.txt.0badcafe.part", ".b.txt.12345678.part", ".c.txt.0badcafe.part"})
    ASSERT_TRUE(writeFile(path(name), "partial"));
  ASSERT_TRUE(QFile::link(path("a.txt"), path(".b.txt.abcdef01.part")));
  QFile writing(path(".b.txt.12345678.part"));
  ASSERT_TRUE(writing.open(QIODevice::ReadOnly));
  ASSERT_EQ(::flock(writing.handle(), LOCK_EX), 0);

  EXPECT_TRUE(files.copyFile(path("a.txt"), path("b.txt"), false));
  EXPECT_EQ(readFile(path("b.txt")), "alpha");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
            QStringList({".b.txt.12345678.part", ".b.txt.abcdef01.part", ".c.txt.0badcafe.part",
                         "a.txt", "b.txt"}));
}

TEST_F(FileServiceTest, CopyWithoutOverwriteLeavesExistingDestination) {
  ASSERT_TRUE(writeFile(path("a.txt"), "new"));
  ASSERT_TRUE(writeFile(path("b.txt"), "old"));
  LogLines log;
  EXPECT_FALSE(files.copyFile(path("a.txt"), path("b.txt"), false));
  EXPECT_EQ(readFile(path("b.txt")), "old");
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("copy file from " + utf8("a.txt") + " to " +
                                           utf8("b.txt") + ". overwrite: false"),
                                      line("copy file result: false")}));
}

TEST_F(FileServiceTest, CopyWithOverwriteReplacesDestination) {
  ASSERT_TRUE(writeFile(path("a.txt"), "new"));
  ASSERT_TRUE(writeFile(path("b.txt"), "old and longer"));
  LogLines log;
  EXPECT_TRUE(files.copyFile(path("a.txt"), path("b.txt"), true));
  EXPECT_EQ(readFile(path("b.txt")), "new");
  EXPECT_EQ(
      log.messages(),
      (std::vector<std::string>{
          line("copy file from " + utf8("a.txt") + " to " + utf8("b.txt") + ". overwrite: true"),
          line("destination file " + utf8("b.txt") + " exists. try to remove it first"),
          line("copy file result: true")}));
}

TEST_F(FileServiceTest, CopyOntoUnremovableDestinationFails) {
  ASSERT_TRUE(writeFile(path("a.txt"), "new"));
  ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
  ASSERT_TRUE(writeFile(path("locked/b.txt"), "old"));
  ImmutableFolder guard(path("locked"));
  SKIP_UNLESS_IMMUTABLE(guard);
  LogLines log;
  EXPECT_FALSE(files.copyFile(path("a.txt"), path("locked/b.txt"), true));
  EXPECT_EQ(readFile(path("locked/b.txt")), "old");
  EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                line("copy file from " + utf8("a.txt") + " to " +
                                     utf8("locked/b.txt") + ". overwrite: true"),
                                line("destination file " + utf8("locked/b.txt") +
                                     " exists. try to remove it first"),
                                line("cannot remove destination file " + utf8("locked/b.txt")),
                                line("copy file result: false")}));
}

TEST_F(FileServiceTest, CopyFromMissingSourceTouchesNothing) {
  ASSERT_TRUE(writeFile(path("b.txt"), "keep"));
  LogLines log;
  EXPECT_FALSE(files.copyFile(path("missing.txt"), path("b.txt"), true));
  EXPECT_EQ(readFile(path("b.txt")), "keep");
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{
                line("copy file from " + utf8("missing.txt") + " to " + utf8("b.txt") +
                     ". overwrite: true"),
                line("copy file failed. file " + utf8("missing.txt") + " does NOT exists!")}));
}

TEST_F(FileServiceTest, CopyHandlesUnicodeNames) {
  ASSERT_TRUE(writeFile(path("潮井 a.txt"), "x"));
  EXPECT_TRUE(files.copyFile(path("潮井 a.txt"), path("潮井 b.txt"), false));
  EXPECT_EQ(readFile(path("潮井 b.txt")), "x");
}

TEST_F(FileServiceTest, RemoveFile) {
  ASSERT_TRUE(writeFile(path("a.txt"), "x"));
  LogLines log;
  EXPECT_TRUE(files.removeFile(path("a.txt")));
  EXPECT_FALSE(QFileInfo::exists(path("a.txt")));
  EXPECT_FALSE(files.removeFile(path("a.txt")));
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("remove file " + utf8("a.txt") + " result: true"),
                                      line("remove file " + utf8("a.txt") + " result: false")}));
}

TEST_F(FileServiceTest, RemoveFileInReadOnlyFolderFails) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
  ASSERT_TRUE(writeFile(path("locked/a.txt"), "x"));
  ImmutableFolder guard(path("locked"));
  SKIP_UNLESS_IMMUTABLE(guard);
  LogLines log;
  EXPECT_FALSE(files.removeFile(path("locked/a.txt")));
  EXPECT_TRUE(QFileInfo::exists(path("locked/a.txt")));
  EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                line("remove file " + utf8("locked/a.txt") + " result: false")}));
}

TEST_F(FileServiceTest, RemoveDirRemovesTreeAndCountsMissingAsRemoved) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("tree/a/b"));
  ASSERT_TRUE(writeFile(path("tree/a/b/f.txt"), "x"));
  ASSERT_TRUE(writeFile(path("tree/g.txt"), "y"));
  LogLines log;
  EXPECT_TRUE(files.removeDir(path("tree")));
  EXPECT_FALSE(QFileInfo::exists(path("tree")));
  EXPECT_TRUE(files.removeDir(path("tree")));
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("remove dir " + utf8("tree") + " result: true"),
                                      line("remove dir " + utf8("tree") + " result: true")}));
}

TEST_F(FileServiceTest, RemoveDirGoesOnPastWhatItCannotRemove) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("tree/locked"));
  ASSERT_TRUE(writeFile(path("tree/locked/f.txt"), "x"));
  ASSERT_TRUE(writeFile(path("tree/z.txt"), "y"));
  ImmutableFolder guard(path("tree/locked"));
  SKIP_UNLESS_IMMUTABLE(guard);
  LogLines log;
  EXPECT_FALSE(files.removeDir(path("tree")));
  EXPECT_FALSE(QFileInfo::exists(path("tree/z.txt")));
  EXPECT_TRUE(QFileInfo::exists(path("tree/locked/f.txt")));
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{line("remove dir " + utf8("tree") + " result: false")}));
}

TEST_F(FileServiceTest, RemoveDirWithEmptyPathNeverEmptiesCurrentFolder) {
  ASSERT_TRUE(writeFile(path("keep.txt"), "x"));
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const bool removed = files.removeDir(QString());
  QDir::setCurrent(previous);
  EXPECT_FALSE(removed);
  EXPECT_TRUE(QFileInfo::exists(path("keep.txt")));
}

TEST_F(FileServiceTest, MkdirCreatesMissingParentsAndKeepsExisting) {
  EXPECT_TRUE(files.mkdir(path("x/y/z")));
  EXPECT_TRUE(QFileInfo(path("x/y/z")).isDir());
  ASSERT_TRUE(writeFile(path("x/y/z/f.txt"), "kept"));
  EXPECT_TRUE(files.mkdir(path("x/y/z")));
  EXPECT_EQ(readFile(path("x/y/z/f.txt")), "kept");
}

TEST_F(FileServiceTest, MkdirBelowAFileFails) {
  ASSERT_TRUE(writeFile(path("file"), "x"));
  EXPECT_FALSE(files.mkdir(path("file/sub")));
}

TEST_F(FileServiceTest, Sha256OfEmptyMissingAndLargeFiles) {
  ASSERT_TRUE(writeFile(path("empty"), QByteArray()));
  LogLines log;
  EXPECT_EQ(files.getFileSha256(path("empty")),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(files.getFileSha256(path("missing")), "");
  EXPECT_EQ(files.getFileSha256(dir.path()), "");
  EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                line("try to get file " + utf8("empty") + " sha256"),
                                line("try to get file " + utf8("missing") + " sha256"),
                                line("try to get file " + dir.path().toStdString() + " sha256")}));

  ASSERT_TRUE(writeFile(path("abc"), "abc"));
  EXPECT_EQ(files.getFileSha256(path("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  QByteArray large;
  for (int i = 0; i < 3 * 1024 * 1024; ++i)
    large.append(char((quint32(i) * 2654435761u) >> 24));
  ASSERT_TRUE(writeFile(path("large"), large));
  QProcess sha256sum;
  sha256sum.start(QStringLiteral("sha256sum"), {path("large")});
  ASSERT_TRUE(sha256sum.waitForFinished());
  EXPECT_EQ(files.getFileSha256(path("large")),
            QString::fromLatin1(sha256sum.readAllStandardOutput().left(64)));
}

TEST_F(FileServiceTest, Base64IsUrlSafeAndPadded) {
  EXPECT_EQ(files.toBase64Str(""), "");
  EXPECT_EQ(files.toBase64Str("a"), "YQ==");
  EXPECT_EQ(files.toBase64Str("?\?>"), "Pz8-");
  EXPECT_EQ(files.toBase64Str("???"), "Pz8_");
  EXPECT_EQ(files.toBase64Str("潮井"), "5r2u5LqV");
}

} // namespace
