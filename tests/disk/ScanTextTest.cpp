// The result texts of both immediate scans, byte for byte, against a
// reference built here the plain way: every file read whole, records as
// QJsonObject, the document written by QJsonDocument. And found files are
// opened again only where the walk found them.
#include "disk/DuplicateFileFinder.h"
#include "disk/FileList.h"
#include "disk/FileTree.h"
#include "disk/LargeFileScanner.h"
#include "platform/storage/FileName.h"
#include "platform/storage/ReadOnlyFile.h"

#include "DiskTestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

struct Found {
  QByteArray path; // bytes
  qint64 size = 0;
  qint64 modifiedSecs = 0;
  FileId id;
};

// Depth first, each folder's entries in the order readdir gives them, hidden
// entries, links and anything but files and folders left out.
void walk(const QByteArray &folder, std::vector<Found> &found) {
  DIR *dir = ::opendir(folder.constData());
  ASSERT_NE(dir, nullptr);
  std::vector<QByteArray> names;
  while (const dirent *item = ::readdir(dir)) {
    if (item->d_name[0] != '.')
      names.emplace_back(item->d_name);
  }
  ::closedir(dir);
  for (const QByteArray &name : names) {
    const QByteArray path = folder + '/' + name;
    struct stat status;
    ASSERT_EQ(::lstat(path.constData(), &status), 0);
    if (S_ISDIR(status.st_mode))
      walk(path, found);
    else if (S_ISREG(status.st_mode))
      found.push_back({path,
                       status.st_size,
                       status.st_mtim.tv_sec,
                       {quint64(status.st_dev), quint64(status.st_ino)}});
  }
}

QJsonObject recordOf(const Found &file) {
  const QString path = FileName::fromBytes(file.path);
  return QJsonObject{{"modifiedTime", QDateTime::fromSecsSinceEpoch(file.modifiedSecs)
                                          .toString(QStringLiteral("yyyy-MM-dd hh:mm"))},
                     {"name", path.mid(path.lastIndexOf('/') + 1)},
                     {"path", path},
                     {"size", double(file.size)}};
}

QByteArray contentOf(const QByteArray &path) {
  QByteArray content;
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  char buffer[65536];
  for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
    content.append(buffer, int(got));
  ::close(fd);
  return content;
}

QString expectedList(const QString &root, int skippedHidden) {
  std::vector<Found> found;
  walk(QFile::encodeName(root), found);
  std::sort(found.begin(), found.end(),
            [](const Found &a, const Found &b) { return a.size > b.size; });
  QJsonArray list;
  for (const Found &file : found)
    list.append(recordOf(file));
  return QString::fromUtf8(
      QJsonDocument(QJsonObject{{"list", list}, {"skippedHidden", skippedHidden}}).toJson());
}

QString expectedGroups(const QString &root) {
  std::vector<Found> found;
  walk(QFile::encodeName(root), found);
  std::map<qint64, std::vector<const Found *>> bySize;
  QSet<FileId> seen;
  for (const Found &file : found) {
    if (!seen.contains(file.id)) {
      seen.insert(file.id);
      bySize[file.size].push_back(&file);
    }
  }
  std::map<QString, QJsonArray> byDigest;
  for (const auto &[size, files] : bySize) {
    for (const Found *file : files) {
      if (files.size() >= 2)
        byDigest[QString::fromLatin1(
                     QCryptographicHash::hash(contentOf(file->path), QCryptographicHash::Sha256)
                         .toHex())]
            .append(recordOf(*file));
    }
  }
  QJsonArray groups;
  for (const auto &[digest, files] : byDigest) {
    if (files.size() >= 2)
      groups.append(QJsonObject{
          {"files", files}, {"hash", digest}, {"size", files.at(0).toObject().value("size")}});
  }
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"groups", groups}}).toJson());
}

// Content of one size that begins the same for several files and ends
// differently for some, so the prefix pass alone cannot tell them apart.
QByteArray block(int size, char fill, char last) {
  QByteArray bytes(size, fill);
  for (int i = 0; i < size; i += 97)
    bytes[i] = char(i / 97);
  if (size > 0)
    bytes[size - 1] = last;
  return bytes;
}

// Copies, near copies, files that only share a size, empty files, hard
// links, sizes QJsonDocument writes in exponent form, names with quotes,
// backslashes, control characters and bytes that are not UTF-8, at several
// depths, spread over folders in the order the file system lists them.
void makeTree(const TempTree &tree) {
  const QByteArray root = QFile::encodeName(tree.root());
  const auto put = [&](const QByteArray &relative, const QByteArray &content) {
    const QByteArray path = root + '/' + relative;
    for (int slash = path.indexOf('/', root.size() + 1); slash > 0;
         slash = path.indexOf('/', slash + 1))
      ::mkdir(path.left(slash).constData(), 0755);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
    ::close(fd);
  };
  for (int i = 0; i < 60; ++i) {
    const QByteArray folder = "d" + QByteArray::number(i % 7) + "/e" + QByteArray::number(i % 3);
    const int size = 1000 + 4096 * (i % 4) + (i % 5); // several files per size
    put(folder + "/copy" + QByteArray::number(i), block(size, 'c', char('0' + i % 2)));
    put(folder + "/near" + QByteArray::number(i), block(size, 'c', char('a' + i % 3)));
    put(folder + "/other" + QByteArray::number(i), block(size, char('A' + i % 3), 'z'));
    put(folder + "/alone" + QByteArray::number(i), block(20000 + i, 'u', 'u'));
  }
  // More files of one size than are compared at once, over 64 KiB: keyed by
  // their first bytes, then compared in smaller sets.
  for (int i = 0; i < 80; ++i)
    put("d" + QByteArray::number(i % 7) + "/many" + QByteArray::number(i),
        block(70001, char('k' + i % 3), char('0' + i % 2)));
  // Copies and near copies whose size ends a piece read when comparing.
  for (const int size : {4096, 4096 + 65536}) {
    const QByteArray name = QByteArray::number(size);
    put("d1/piece-" + name, block(size, 'p', 'p'));
    put("d6/e2/piece-" + name, block(size, 'p', 'p'));
    put("d3/piece-near-" + name, block(size, 'p', 'q'));
  }
  put("empty1", "");
  put("d3/empty2", "");
  put("d5/e1/deep/er/empty3", "");
  put("round1", block(1000000, 'r', 'r')); // written as 1e+06
  put("d2/round2", block(1000000, 'r', 'r'));
  put("d1/ten-thousand", block(10000, 't', 't'));
  put("d4/ten-thousand", block(10000, 't', 't'));
  put("d6/quote\"and\\back", "named oddly");
  put("d0/tab\tand\x01", "named oddly");
  put("d1/caf\xE9/\xD6\xD0\xCE\xC4", "named oddly");
  put("d2/\xE6\xBD\xAE", "named oddly");
  put(".hidden/copy", "named oddly");
  put("d3/.hidden", "named oddly");
  ASSERT_EQ(::link((root + "/d0/e0/copy0").constData(), (root + "/d6/hard-link").constData()), 0);
  ASSERT_EQ(::symlink("d0/e0/copy0", (root + "/link").constData()), 0);
  ASSERT_EQ(::mkfifo((root + "/d4/fifo").constData(), 0644), 0);
}

} // namespace

TEST(ScanText, DuplicateGroupsAreThoseOfReadingEveryFileWhole) {
  TempTree tree;
  makeTree(tree);
  const QString expected = expectedGroups(tree.root());
  ASSERT_GT(parseObject(expected).value("groups").toArray().size(), 10);
  EXPECT_EQ(DuplicateFileFinder().findDuplicateFiles(tree.root()), expected);
  // Names that are not UTF-8 cannot be given back to QTemporaryDir.
  const UniqueFd root = FileWalker::openDirectory(QFile::encodeName(tree.root()), false);
  EXPECT_TRUE(FileWalker::removeTree(root.get(), "d1"));
}

TEST(ScanText, AFullListingIsWhatQJsonDocumentWrites) {
  TempTree tree;
  makeTree(tree);
  const QString expected = expectedList(tree.root(), 2); // the hidden folder and file
  EXPECT_EQ(LargeFileScanner().scanLargeFiles(tree.root(), 0), expected);
  EXPECT_EQ(LargeFileScanner().scanLargeFiles(tree.root() + "/", 0), expected);
  const UniqueFd root = FileWalker::openDirectory(QFile::encodeName(tree.root()), false);
  EXPECT_TRUE(FileWalker::removeTree(root.get(), "d1"));
}

TEST(ScanText, NumbersAsQJsonDocumentWritesThem) {
  for (const qint64 value : {qint64(0), qint64(7), qint64(10000), qint64(100000), qint64(1000000),
                             qint64(1048576), qint64(123450000), qint64(1200000000000),
                             qint64(9007199254740993), qint64(1) << 53, qint64(999999999999999)}) {
    const QByteArray document = QJsonDocument(QJsonObject{{"n", double(value)}}).toJson();
    const int start = document.indexOf(':') + 2;
    EXPECT_EQ(FileRecord::numberText(value),
              QString::fromLatin1(document.mid(start, document.indexOf('\n', start) - start)))
        << value;
  }
}

// A found file is opened again through its folder, never through a link
// put in the folder's place, and only while it is the file that was found.
TEST(ScanText, FoundFilesAreOpenedOnlyWhereTheyWereFound) {
  TempTree tree;
  tree.write("top/a/kept", "kept");
  tree.write("top/b/moved", "moved");
  tree.write("top/c/replaced", "same size");
  FileList files;
  FileTree::collect(tree.path("top"), {0, FileTree::Access::OpenedLater}, nullptr, files);
  ASSERT_EQ(files.size(), 3);
  std::map<QString, int> index;
  for (int i = 0; i < files.size(); ++i)
    index[files.record(i).name()] = i;

  // b's place taken by a link to where it went; c's file by another one.
  ASSERT_TRUE(QFile::rename(tree.path("top/b"), tree.path("elsewhere")));
  ASSERT_TRUE(QFile::link(tree.path("elsewhere"), tree.path("top/b")));
  ASSERT_TRUE(QFile::rename(tree.path("top/c/replaced"), tree.path("keep-inode")));
  tree.write("top/c/replaced", "same size");

  FileList::Opener opener(files, 1, 1);
  EXPECT_TRUE(opener.open(index["kept"])->isOpen());
  EXPECT_FALSE(opener.open(index["moved"])->isOpen());
  EXPECT_FALSE(opener.open(index["replaced"])->isOpen());
  EXPECT_EQ(files.record(index["moved"]).path, tree.path("top/b/moved"));
}
