// Searches of a tree the digest cache has seen, in both forms: nothing
// unchanged is read again, what changed is, entries of deleted files go, a
// writer killed mid-transaction leaves the cache usable, and every answer is
// the one a search without the cache gives.
#include "disk/DuplicateFileFinder.h"

#include "DiskTestSupport.h"

#include <QJsonArray>

#include <csignal>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

// The names of files opened in the watched folders.
class FileOpens {
public:
  explicit FileOpens(const QStringList &folders) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    for (const QString &folder : folders)
      inotify_add_watch(fd_, folder.toLocal8Bit().constData(), IN_OPEN);
  }
  ~FileOpens() { close(fd_); }
  QStringList names() {
    QStringList found;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
        if (event->len > 0 && !(event->mask & IN_ISDIR))
          found.append(QString::fromLocal8Bit(event->name));
        at += ssize_t(sizeof(inotify_event) + event->len);
      }
    }
    return found;
  }

private:
  int fd_;
};

QString asyncSearch(DuplicateFileFinder &finder, const QString &folders) {
  auto log = MessageLog::create();
  finder.startScanDuplicateFiles(folders, log->callback(log));
  EXPECT_TRUE(log->waitForEnd());
  return log->last().data;
}

qint64 rowsOf(const QString &database, quint64 inode) {
  sqlite3 *db = nullptr;
  sqlite3_open_v2(database.toLocal8Bit().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt *statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM digests WHERE inode = ?1", -1, &statement, nullptr);
  sqlite3_bind_int64(statement, 1, qint64(inode));
  const qint64 rows =
      sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

} // namespace

TEST(DigestCache, SearchesAgainReadOnlyWhatChangedAndAnswerAsWithoutIt) {
  TempTree tree;
  QByteArray copy(10000, 'c'), near = copy;
  near[9999] = 'n'; // the same first 4 KiB
  tree.write("a/copy1", copy);
  const QString copy2 = tree.write("b/copy2", copy);
  tree.write("b/near", near);
  tree.write("a/other", QByteArray(10000, 'o'));
  for (int i = 0; i < 70; ++i) // more of one size than are compared side by side
    tree.write(QString("m/%1").arg(i), QByteArray(300, char('a' + i % 3)));
  tree.write("a/twin", "twin");
  const QString gone = tree.write("b/twin", "twin");
  const QString folders = tree.path("a") + "," + tree.path("b") + "," + tree.path("m");
  // Files changed in the last two seconds are not kept: a write in the same
  // clock tick would leave their times as they were.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));

  const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
  DuplicateFileFinder finder;
  const auto withoutCache = [&] {
    qputenv("XDG_CACHE_HOME", tree.write("not-a-folder", "").toLocal8Bit());
    const QString text = finder.findDuplicateFiles(folders);
    qputenv("XDG_CACHE_HOME", cacheHome);
    return text;
  };
  const QString expected = withoutCache();
  EXPECT_EQ(parseObject(expected).value("groups").toArray().size(), 5);

  FileOpens first({tree.path("a"), tree.path("b"), tree.path("m")});
  EXPECT_EQ(finder.findDuplicateFiles(folders), expected);
  EXPECT_EQ(asyncSearch(finder, folders), expected);
  EXPECT_TRUE(first.names().contains("copy2"));
  const QString database = QString::fromLocal8Bit(cacheHome) + "/Tidewell/digests.db";
  struct stat status;
  ASSERT_EQ(stat(database.toLocal8Bit().constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(QFileInfo(database).path().toLocal8Bit().constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);

  FileOpens again({tree.path("a"), tree.path("b"), tree.path("m")});
  EXPECT_EQ(finder.findDuplicateFiles(folders), expected);
  EXPECT_EQ(asyncSearch(finder, folders), expected);
  EXPECT_EQ(again.names(), QStringList());

  // A writer killed in the middle of a transaction that spoiled every entry.
  DuplicateFileFinder::stopAllScans(); // no worker holds a lock the child would need
  const pid_t child = fork();
  if (child == 0) {
    sqlite3 *db = nullptr;
    sqlite3_open_v2(database.toLocal8Bit().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db,
                 "PRAGMA cache_size = 1; BEGIN IMMEDIATE; UPDATE digests SET prefix = 0,"
                 " digest = zeroblob(32)",
                 nullptr, nullptr, nullptr);
    kill(getpid(), SIGKILL);
  }
  int childStatus = 0;
  ASSERT_EQ(waitpid(child, &childStatus, 0), child);
  ASSERT_TRUE(WIFSIGNALED(childStatus));
  FileOpens afterKill({tree.path("a"), tree.path("b"), tree.path("m")});
  EXPECT_EQ(finder.findDuplicateFiles(folders), expected);
  EXPECT_EQ(afterKill.names(), QStringList());

  // copy2 takes near's content with its old modification time: only its
  // change time tells. One twin is deleted.
  ASSERT_EQ(stat(copy2.toLocal8Bit().constData(), &status), 0);
  const struct timespec times[2] = {status.st_atim, status.st_mtim};
  tree.write("b/copy2", near);
  ASSERT_EQ(utimensat(AT_FDCWD, copy2.toLocal8Bit().constData(), times, 0), 0);
  ASSERT_EQ(stat(gone.toLocal8Bit().constData(), &status), 0);
  const quint64 goneInode = status.st_ino;
  EXPECT_EQ(rowsOf(database, goneInode), 1);
  ASSERT_TRUE(QFile::remove(gone));
  FileOpens changed({tree.path("a"), tree.path("b"), tree.path("m")});
  const QString afterChange = finder.findDuplicateFiles(folders);
  EXPECT_TRUE(changed.names().contains("copy2"));
  EXPECT_EQ(afterChange, withoutCache());
  EXPECT_NE(afterChange, expected);
  EXPECT_EQ(rowsOf(database, goneInode), 0);
}
