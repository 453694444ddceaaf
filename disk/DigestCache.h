#pragma once
// What reading files taught the duplicate searches, kept for the next one:
// each file's content digest and prefix key in the user's cache folder
// ($XDG_CACHE_HOME/Tidewell/digests.db, SQLite in WAL mode, private).
//
// - A file is known by its device, folder and inode, and an entry counts
//   only while the file's size, modification time and change time (to the
//   nanosecond) are those it had when it was read: a changed file is read
//   again.
// - A file changed less than two seconds before the search began is not
//   kept: a write in the same clock tick would leave its times as they were.
// - Entries of files gone from a folder a search walked are dropped; the
//   least recently used go when the cache outgrows its bound.
// - Every write is one transaction, so a killed process leaves the cache as
//   it was before that write. When the cache cannot be opened, searches read
//   everything, as they would with an empty cache.
#include "disk/FileList.h"

#include <QByteArray>
#include <QHash>

#include <memory>
#include <vector>

struct sqlite3;

class DigestCache {
public:
  struct Known {
    bool keyed = false;
    quint64 prefixKey = 0; // of the first FileDigest::prefixLength bytes
    QByteArray digest;     // hexadecimal; empty when not known
  };

  // The user's cache; the clock for the rule of recent changes starts now,
  // so make it before the walk.
  DigestCache();
  explicit DigestCache(const QString &path);
  ~DigestCache();
  DigestCache(const DigestCache &) = delete;
  DigestCache &operator=(const DigestCache &) = delete;

  // Whether entries are stored; searches do extra work only for a usable cache.
  bool usable() const { return db_ != nullptr; }

  // Looks up the files of the folders of files from firstFolder on, as a
  // walk added them, and notes the entries of files no longer there.
  void load(const FileList &files, int firstFolder = 0);
  // What is known of the file at index; false when nothing is.
  bool find(int index, Known &known) const;
  // What reading the file at index taught; kept by save() (and by itself
  // when much has been learnt).
  void learn(const FileList &files, int index, const Known &known);
  // Stores what was learnt and drops stale entries, in one transaction.
  // Failures leave the cache as it was: it only saves reading.
  void save();

private:
  struct Row {
    quint64 device = 0, folder = 0, inode = 0;
    qint64 size = 0, modifiedNs = 0, changedNs = 0;
    Known known;
  };
  struct Statements;

  void open(const QString &path);

  sqlite3 *db_ = nullptr;
  std::unique_ptr<Statements> statements_;
  qint64 startedNs_;
  QHash<int, Known> known_; // by file index
  std::vector<Row> learnt_; // to store
  std::vector<Row> stale_;  // to drop: changed, or gone from their folder
  std::vector<Row> used_;   // to mark as used today
};
