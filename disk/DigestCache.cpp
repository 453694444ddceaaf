#include "disk/DigestCache.h"

#include "base/log/Log.h"
#include "platform/registry/SqliteDatabase.h"

#include <QDateTime>
#include <QStandardPaths>

#include <algorithm>
#include <ctime>
#include <tuple>

#include <sqlite3.h>

namespace {

// Files that shared their size with another: a few hundred thousand fill
// some 30 MB.
constexpr qint64 maxEntries = 300000;
// What is dropped when the bound is passed, so that the next searches do not
// each drop a few.
constexpr qint64 keptAfterEviction = maxEntries * 9 / 10;
constexpr qint64 recentNs = 2000000000;
// What is learnt goes to the cache in transactions of this many entries, so
// that a search of many files holds only a few of them in memory.
constexpr size_t learntPerSave = 16384;
// Stored keys depend on the prefix length and the key function: a change to
// either is a new version, and older entries are dropped.
constexpr int schemaVersion = 1;

const char *const schema = R"sql(
CREATE TABLE IF NOT EXISTS digests(
  device INTEGER NOT NULL,
  folder INTEGER NOT NULL,
  inode INTEGER NOT NULL,
  size INTEGER NOT NULL,
  modified INTEGER NOT NULL,
  changed INTEGER NOT NULL,
  prefix INTEGER,
  digest BLOB,
  used INTEGER NOT NULL,
  PRIMARY KEY(device, folder, inode)) WITHOUT ROWID;
)sql";

qint64 nowNs() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 today() {
  return QDateTime::currentSecsSinceEpoch() / 86400;
}

} // namespace

struct DigestCache::Statements {
  explicit Statements(sqlite3 *db)
      : beginRead(db, "BEGIN"), beginWrite(db, "BEGIN IMMEDIATE"), commit(db, "COMMIT"),
        folder(db, "SELECT inode, size, modified, changed, prefix, digest, used FROM digests"
                   " WHERE device = ?1 AND folder = ?2"),
        drop(db, "DELETE FROM digests WHERE device = ?1 AND folder = ?2 AND inode = ?3"),
        store(db, "INSERT OR REPLACE INTO digests(device, folder, inode, size, modified, changed,"
                  " prefix, digest, used) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"),
        use(db, "UPDATE digests SET used = ?4 WHERE device = ?1 AND folder = ?2 AND inode = ?3"),
        count(db, "SELECT count(*) FROM digests"),
        evict(db, "DELETE FROM digests WHERE (device, folder, inode) IN"
                  " (SELECT device, folder, inode FROM digests ORDER BY used LIMIT ?1)") {}
  SqliteStatement beginRead, beginWrite, commit, folder, drop, store, use, count, evict;
};

DigestCache::DigestCache()
    : DigestCache(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/Tidewell/digests.db")) {}

DigestCache::DigestCache(const QString &path) : startedNs_(nowNs()) {
  try {
    open(path);
  } catch (const SqliteError &error) {
    Log::info("DigestCache", "digest cache not used: {}", error.message.toStdString());
    statements_.reset();
    sqlite3_close(db_);
    db_ = nullptr;
  }
}

DigestCache::~DigestCache() {
  statements_.reset();
  sqlite3_close(db_);
}

void DigestCache::open(const QString &path) {
  db_ = openPrivateDatabase(path, schema);
  qint64 version;
  {
    SqliteStatement statement(db_, "PRAGMA user_version");
    auto read = statement.use();
    read.next();
    version = read.integer(0);
  }
  if (version != schemaVersion) {
    sqliteExecute(db_, "BEGIN IMMEDIATE");
    sqliteExecute(db_, "DELETE FROM digests");
    sqliteExecute(
        db_, QByteArray("PRAGMA user_version = " + QByteArray::number(schemaVersion)).constData());
    sqliteExecute(db_, "COMMIT");
  }
  statements_ = std::make_unique<Statements>(db_);
}

void DigestCache::load(const FileList &files, int firstFolder) {
  if (!db_)
    return;
  // The new folders by identity (a folder listed twice is looked up once),
  // and each one's files by inode.
  const int folderCount = files.folderCount();
  std::vector<int> folders;
  for (int f = firstFolder; f < folderCount; ++f)
    folders.push_back(f);
  const auto idOf = [&files](int f) {
    const FileId id = files.folderId(f);
    return std::make_tuple(id.device, id.inode, f);
  };
  std::sort(folders.begin(), folders.end(), [&](int a, int b) { return idOf(a) < idOf(b); });
  std::vector<int> start(size_t(folderCount - firstFolder) + 1);
  for (int i = 0; i < files.size(); ++i) {
    if (files.at(i).folder >= firstFolder)
      ++start[size_t(files.at(i).folder - firstFolder) + 1];
  }
  for (size_t f = 1; f < start.size(); ++f)
    start[f] += start[f - 1];
  std::vector<int> byFolder(size_t(start.back()));
  {
    std::vector<int> next(start.begin(), start.end() - 1);
    for (int i = 0; i < files.size(); ++i) {
      if (files.at(i).folder >= firstFolder)
        byFolder[size_t(next[size_t(files.at(i).folder - firstFolder)]++)] = i;
    }
  }
  const auto inodeOf = [&files](int i) { return files.at(i).inode; };
  for (size_t f = 0; f + 1 < start.size(); ++f)
    std::sort(byFolder.begin() + start[f], byFolder.begin() + start[f + 1],
              [&](int a, int b) { return inodeOf(a) < inodeOf(b); });

  const qint64 day = today();
  try {
    auto begin = statements_->beginRead.use();
    begin.next();
    for (size_t k = 0, end; k < folders.size(); k = end) {
      const FileId id = files.folderId(folders[k]);
      end = k + 1;
      while (end < folders.size() && files.folderId(folders[end]) == id)
        ++end;
      auto rows = statements_->folder.use();
      rows.bind(qint64(id.device)).bind(qint64(id.inode));
      while (rows.next()) {
        Row row;
        row.device = id.device;
        row.folder = id.inode;
        row.inode = quint64(rows.integer(0));
        bool found = false, changed = false;
        for (size_t m = k; m < end; ++m) {
          const size_t slice = size_t(folders[m] - firstFolder);
          auto at =
              std::lower_bound(byFolder.begin() + start[slice], byFolder.begin() + start[slice + 1],
                               row.inode, [&](int i, quint64 inode) { return inodeOf(i) < inode; });
          for (; at != byFolder.begin() + start[slice + 1] && inodeOf(*at) == row.inode; ++at) {
            found = true;
            const FileList::File &file = files.at(*at);
            if (file.size != rows.integer(1) || file.modifiedNs != rows.integer(2) ||
                file.changedNs != rows.integer(3)) {
              changed = true;
              continue;
            }
            Known &known = known_[*at];
            known.keyed = !rows.isNull(4);
            known.prefixKey = quint64(rows.integer(4));
            known.digest = rows.blob(5).toHex();
          }
        }
        if (!found || changed)
          stale_.push_back(row);
        else if (rows.integer(6) < day)
          used_.push_back(row);
      }
    }
    statements_->commit.use().next();
  } catch (const SqliteError &error) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    Log::info("DigestCache", "digest cache not read: {}", error.message.toStdString());
  }
}

bool DigestCache::find(int index, Known &known) const {
  const auto found = known_.constFind(index);
  if (found == known_.constEnd())
    return false;
  known = *found;
  return true;
}

void DigestCache::learn(const FileList &files, int index, const Known &known) {
  const FileList::File &file = files.at(index);
  if (!db_ || file.changedNs >= startedNs_ - recentNs)
    return;
  const FileId folder = files.folderId(file.folder);
  learnt_.push_back(
      {folder.device, folder.inode, file.inode, file.size, file.modifiedNs, file.changedNs, known});
  if (learnt_.size() >= learntPerSave)
    save();
}

void DigestCache::save() {
  if (!db_ || (learnt_.empty() && stale_.empty() && used_.empty()))
    return;
  const qint64 day = today();
  // In the table's order, so that the writes touch few pages.
  const auto key = [](const Row &row) {
    return std::make_tuple(row.device, row.folder, row.inode);
  };
  std::sort(learnt_.begin(), learnt_.end(),
            [&](const Row &a, const Row &b) { return key(a) < key(b); });
  try {
    statements_->beginWrite.use().next();
    for (const Row &row : stale_)
      statements_->drop.use()
          .bind(qint64(row.device))
          .bind(qint64(row.folder))
          .bind(qint64(row.inode))
          .next();
    for (const Row &row : used_)
      statements_->use.use()
          .bind(qint64(row.device))
          .bind(qint64(row.folder))
          .bind(qint64(row.inode))
          .bind(day)
          .next();
    for (const Row &row : learnt_) {
      auto store = statements_->store.use();
      store.bind(qint64(row.device)).bind(qint64(row.folder)).bind(qint64(row.inode));
      store.bind(row.size).bind(row.modifiedNs).bind(row.changedNs);
      if (row.known.keyed)
        store.bind(qint64(row.known.prefixKey));
      else
        store.bindNull();
      if (row.known.digest.isEmpty())
        store.bindNull();
      else
        store.bind(QByteArray::fromHex(row.known.digest));
      store.bind(day).next();
    }
    if (!learnt_.empty()) {
      auto count = statements_->count.use();
      count.next();
      if (count.integer(0) > maxEntries)
        statements_->evict.use().bind(count.integer(0) - keptAfterEviction).next();
    }
    statements_->commit.use().next();
  } catch (const SqliteError &error) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    Log::info("DigestCache", "digest cache not written: {}", error.message.toStdString());
  }
  learnt_.clear();
  stale_.clear();
  used_.clear();
}
