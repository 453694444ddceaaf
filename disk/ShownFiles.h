#pragma once
// What the scans showed the page, by path: each listed file's identity when
// the walk found it, and for a duplicate the digest of its group. Scan texts
// carry no identity, so a deletion finds it here, and acts only on a path
// listed here and only while the file is still the one that was listed.
#include "disk/FileRecord.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

#include <sys/stat.h>

class ShownFiles {
public:
  struct Entry {
    FileId id;
    FileId folder; // the folder holding it
    qint64 size = 0;
    qint64 modifiedNs = 0;
    QByteArray digest;     // of its duplicate group
    bool isFolder = false; // a folder of a space map, removed with all it holds

    // Still the size and modification time listed, to the nanosecond: a
    // rewrite within the same second shows.
    bool unchangedAt(const struct stat &status) const {
      return status.st_size == size &&
             qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec == modifiedNs;
    }
  };

  // One store per scan kind for the whole process: the page may delete what
  // any scan of that kind showed it (its own, or the overview's).
  static ShownFiles &largeFiles();
  static ShownFiles &duplicates();
  static ShownFiles &spaceMap();

  // A later report of the same path replaces the earlier one.
  void add(const FileRecord &record, const QByteArray &digest = QByteArray());
  void add(const QString &path, const Entry &entry);
  bool find(const QString &path, Entry &entry) const;
  void remove(const QString &path);

private:
  mutable std::mutex mutex_;
  QHash<QString, Entry> entries_;
};
