// Cleanings undone from their record: trashed files come back (never over a
// file that appeared since), duplicates replaced by links keep every path's
// bytes and give their blocks back, and a link undone is a file of its own
// again with the copy's mode and times.
#include "disk/CleaningUndo.h"
#include "disk/CleaningRecords.h"
#include "disk/DuplicateFileFinder.h"
#include "disk/LargeFileScanner.h"
#include "disk/ScannedFileRemover.h"
#include "platform/storage/FileName.h"

#include "DiskTestSupport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Results = QMap<QString, QString>;

QByteArray sha(const QByteArray &content) {
  return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

struct stat statOf(const QString &path) {
  struct stat status = {};
  ::lstat(FileName::toBytes(path).constData(), &status);
  return status;
}

QByteArray readPath(const QString &path) {
  QFile file;
  const int fd = ::open(FileName::toBytes(path).constData(), O_RDONLY);
  return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle) ? file.readAll()
                                                                               : "<missing>";
}

qint64 freeBytes(const QString &folder) {
  ::sync();
  struct statvfs info = {};
  ::statvfs(QFile::encodeName(folder).constData(), &info);
  return qint64(info.f_bfree) * qint64(info.f_frsize);
}

QByteArray run(const QString &program, const QStringList &arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted() || !process.waitForFinished(60000))
    return "not run";
  return process.exitCode() == 0 ? process.readAllStandardOutput() + process.readAllStandardError()
                                 : "failed: " + process.readAllStandardError();
}

// A mount namespace of this process's own, where tests may mount.
bool ownMounts(QString &why) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
    why = QString("no mount namespace for this user: ") + std::strerror(errno);
  return why.isEmpty();
}

class CleaningUndoTest : public ::testing::Test {
protected:
  void SetUp() override {
    home = tree.mkdir("home");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/.local/share"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + "/.local/state"));
  }

  // The final answer of a removal request, with its answers by path.
  QJsonObject remove(const QJsonObject &request, Results &results) {
    auto log = MessageLog::create();
    ScannedFileRemover().deleteScannedFiles(QString::fromUtf8(QJsonDocument(request).toJson()),
                                            log->callback(log));
    EXPECT_TRUE(log->waitForEnd(std::chrono::seconds(120)));
    return answers(log, results);
  }

  Results undo(const QString &record) {
    auto log = MessageLog::create();
    CleaningUndo().undoCleaning(record, log->callback(log));
    EXPECT_TRUE(log->waitForEnd(std::chrono::seconds(120)));
    Results results;
    answers(log, results);
    return results;
  }

  QJsonObject answers(const std::shared_ptr<MessageLog> &log, Results &results) {
    EXPECT_EQ(log->last().type, "done") << log->last().error.toStdString();
    const QJsonObject answer = parseObject(log->last().data);
    for (const QJsonValue &item : answer.value("list").toArray())
      results.insert(item["path"].toString(), item["result"].toString());
    return answer;
  }

  QString trashListed(const QString &folder, const QStringList &paths, Results &results) {
    LargeFileScanner scanner;
    auto scan = MessageLog::create();
    scanner.startScanLargeFiles(folder, 10000, scan->callback(scan));
    EXPECT_TRUE(scan->waitForEnd());
    QJsonArray files;
    for (const QString &path : paths)
      files.append(QJsonObject{{"path", path}, {"size", double(readPath(path).size())}});
    return remove({{"trash", true}, {"files", files}}, results).value("record").toString();
  }

  // Links the copies of each group to its first file, after a scan of folder;
  // changeAfterScan runs between the two.
  QString link(const QString &folder, const QVector<QStringList> &groups, Results &results,
               const std::function<void()> &changeAfterScan = nullptr) {
    auto scan = MessageLog::create();
    DuplicateFileFinder().startScanDuplicateFiles(folder, scan->callback(scan));
    EXPECT_TRUE(scan->waitForEnd(std::chrono::seconds(60)));
    if (changeAfterScan)
      changeAfterScan();
    QJsonArray request;
    for (const QStringList &group : groups)
      request.append(QJsonObject{{"hash", QString(sha(readPath(group[0])))},
                                 {"keep", group[0]},
                                 {"delete", QJsonArray::fromStringList(group.mid(1))}});
    return remove({{"link", true}, {"groups", request}}, results).value("record").toString();
  }

  TempTree tree;
  QString home;
};

TEST_F(CleaningUndoTest, TrashedFilesComeBackFromTheHistoryButNeverOverANewFile) {
  const QByteArray big(20000, 'a'), other(30000, 'b'), deep(25000, 'd');
  const QString docs = tree.mkdir("home/docs");
  const QString plain = tree.write("home/docs/report.bin", big),
                taken = tree.write("home/docs/taken.bin", other),
                nested = tree.write("home/docs/old/deep/notes.bin", deep);
  const QByteArray latin1Bytes = QFile::encodeName(docs) + "/caf\xe9.bin";
  const QString latin1 = FileName::fromBytes(latin1Bytes);
  ::close(::open(latin1Bytes.constData(), O_WRONLY | O_CREAT, 0600));
  ASSERT_EQ(::truncate(latin1Bytes.constData(), 40000), 0);

  Results trashed;
  const QString record = trashListed(docs, {plain, taken, nested, latin1}, trashed);
  EXPECT_EQ(trashed.values(), QStringList({"trashed", "trashed", "trashed", "trashed"}));
  ASSERT_FALSE(record.isEmpty());
  const QString recordFile = CleaningRecords::folder() + "/" + record + ".json";
  EXPECT_EQ(statOf(recordFile).st_mode & 07777, 0600u);
  EXPECT_EQ(statOf(CleaningRecords::folder()).st_mode & 07777, 0700u);
  EXPECT_TRUE(readPath(recordFile).contains("caf%E9.bin")) << "the name's bytes are kept";

  const QByteArray listed = run("trash-list", {});
  for (const QString &path : {plain, taken, nested})
    EXPECT_TRUE(listed.contains(path.toUtf8())) << listed.constData();
  const QByteArray gioListed = run("gio", {"trash", "--list"});
  if (!gioListed.startsWith("failed") && !gioListed.startsWith("not run")) {
    EXPECT_TRUE(gioListed.contains(QUrl::fromLocalFile(plain).toEncoded()) ||
                gioListed.contains(plain.toUtf8()))
        << gioListed.constData();
  }

  // Since then: a new file where one was, and the folder of another is gone.
  tree.write("home/docs/taken.bin", "new");
  ASSERT_TRUE(QDir(docs + "/old").removeRecursively());

  Results restored = undo(record);
  EXPECT_EQ(restored.value(plain), "restored");
  EXPECT_EQ(restored.value(latin1), "restored");
  EXPECT_EQ(restored.value(nested), "restored");
  EXPECT_EQ(restored.value(taken), "occupied");
  EXPECT_EQ(readPath(plain), big);
  EXPECT_EQ(readPath(nested), deep);
  EXPECT_EQ(readPath(latin1).size(), 40000);
  EXPECT_EQ(readPath(taken), "new");
  EXPECT_EQ(statOf(docs + "/old/deep").st_mode & 07777, 0700u);
  const QByteArray after = run("trash-list", {});
  EXPECT_FALSE(after.contains(plain.toUtf8())) << "its .trashinfo went too";
  EXPECT_TRUE(after.contains(taken.toUtf8())) << after.constData();

  // Tried again, only what is still out is tried; once the Trash is emptied
  // it is gone for good.
  EXPECT_EQ(undo(record), Results({{taken, "occupied"}}));
  run("trash-empty", {});
  EXPECT_EQ(undo(record), Results({{taken, "notInTrash"}}));
  ::unlink(latin1Bytes.constData()); // a name QTemporaryDir cannot remove
}

// A second file system, of this test's own: links, and its own trash.
TEST_F(CleaningUndoTest, LinksKeepEveryPathGiveSpaceBackAndAreUndoneAsIsTheVolumesTrash) {
  QString why;
  const QString volume = tree.mkdir("volume");
  if (!ownMounts(why) ||
      ::mount("tmpfs", QFile::encodeName(volume).constData(), "tmpfs", 0, "size=32m") != 0)
    GTEST_SKIP() << "mounting a tmpfs is not allowed here: "
                 << (why.isEmpty() ? std::strerror(errno) : why.toStdString());
  QByteArray content(2 << 20, 'x'), other(1 << 20, 'o');
  content[77] = 'y';
  const QString kept = tree.write("volume/kept.bin", content),
                first = tree.write("volume/a/first.bin", content),
                second = tree.write("volume/b/second.bin", content),
                otherKept = tree.write("volume/c/other.bin", other),
                changed = tree.write("volume/c/changed.bin", other),
                away = tree.write("home/away.bin", content);
  ASSERT_EQ(::chmod(QFile::encodeName(first).constData(), 0640), 0);
  const struct timespec old[2] = {{1000000000, 5}, {1100000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(first).constData(), old, 0), 0);
  const qint64 freeBefore = freeBytes(volume);

  Results results;
  const QString record =
      link(tree.root() + "," + volume, {{kept, first, second, away}, {otherKept, changed}}, results,
           [&] {
             tree.write("volume/c/changed.bin", QByteArray(1 << 20, 'O'));
             const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, QFile::encodeName(changed).constData(), later, 0);
           });
  EXPECT_EQ(results.value(first), "linked");
  EXPECT_EQ(results.value(second), "linked");
  EXPECT_EQ(results.value(away), "otherFileSystem");
  EXPECT_EQ(results.value(changed), "changed");
  for (const QString &path : {kept, first, second, away})
    EXPECT_EQ(sha(readPath(path)), sha(content)) << path.toStdString();
  EXPECT_EQ(readPath(changed), QByteArray(1 << 20, 'O'));
  EXPECT_EQ(statOf(kept).st_nlink, 3u);
  EXPECT_EQ(statOf(first).st_ino, statOf(kept).st_ino);
  EXPECT_GE(freeBytes(volume) - freeBefore, 2 * content.size()) << "df shows the space back";
  EXPECT_TRUE(QDir(volume + "/a").entryList(QDir::Hidden | QDir::Files) == QStringList("first.bin"))
      << "no temporary name is left";

  // A program saves the second path anew later: that is not undone.
  ASSERT_TRUE(QFile::remove(second));
  tree.write("volume/b/second.bin", "saved anew");
  const Results undone = undo(record);
  EXPECT_EQ(undone.value(first), "restored");
  EXPECT_EQ(undone.value(second), "changed");
  const struct stat restored = statOf(first);
  EXPECT_NE(restored.st_ino, statOf(kept).st_ino);
  EXPECT_EQ(restored.st_mode & 07777, 0640u);
  EXPECT_EQ(restored.st_mtim.tv_sec, old[1].tv_sec);
  EXPECT_EQ(restored.st_mtim.tv_nsec, old[1].tv_nsec);
  EXPECT_EQ(readPath(first), content);
  EXPECT_EQ(readPath(second), "saved anew");
  EXPECT_EQ(statOf(kept).st_nlink, 1u);

  // A file here goes to this file system's own trash and comes back from it.
  const QByteArray film(30000, 'v');
  const QString onVolume = tree.write("volume/d/film.bin", film);
  Results trashed;
  const QString trashRecord = trashListed(volume + "/d", {onVolume}, trashed);
  EXPECT_EQ(trashed.value(onVolume), "trashed");
  EXPECT_TRUE(QFile::exists(volume + "/.Trash-" + QString::number(geteuid()) + "/files/film.bin"));
  EXPECT_TRUE(run("trash-list", {}).contains(onVolume.toUtf8()));
  EXPECT_EQ(undo(trashRecord), Results({{onVolume, "restored"}}));
  EXPECT_EQ(readPath(onVolume), film);
  ::umount2(QFile::encodeName(volume).constData(), MNT_DETACH);
}

TEST_F(CleaningUndoTest, OnBtrfsCopiesShareBlocksAndStayFilesOfTheirOwn) {
  QString why;
  if (QStandardPaths::findExecutable("mkfs.btrfs").isEmpty())
    GTEST_SKIP() << "mkfs.btrfs is missing (btrfs-progs)";
  const QString image = tree.path("btrfs.img"), volume = tree.mkdir("btrfs");
  QFile(image).open(QIODevice::WriteOnly);
  ASSERT_EQ(::truncate(QFile::encodeName(image).constData(), 200 << 20), 0);
  if (run("mkfs.btrfs", {"-q", image}).startsWith("failed") || !ownMounts(why) ||
      run("mount", {"-o", "loop", image, volume}).startsWith("failed"))
    GTEST_SKIP() << "a btrfs loop image cannot be mounted here " << why.toStdString();
  QByteArray content(8 << 20, 's');
  content[4096 * 3] = 't';
  const QString kept = tree.write("btrfs/kept.bin", content),
                copy = tree.write("btrfs/sub/copy.bin", content);
  const qint64 freeBefore = freeBytes(volume);
  Results results;
  const QString record = link(volume, {{kept, copy}}, results);
  EXPECT_EQ(results.value(copy), "shared");
  EXPECT_EQ(sha(readPath(copy)), sha(content));
  EXPECT_NE(statOf(copy).st_ino, statOf(kept).st_ino);
  EXPECT_EQ(statOf(kept).st_nlink, 1u);
  EXPECT_GE(freeBytes(volume) - freeBefore, content.size() * 3 / 4) << "df shows the space back";
  EXPECT_EQ(undo(record), Results({{copy, "shared"}})) << "nothing to put back";
  run("umount", {"-l", volume});
}

} // namespace
