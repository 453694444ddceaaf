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

class ShownFiles {
public:
  struct Entry {
    FileId id;
    FileId folder; // the folder holding it
    qint64 size = 0;
    qint64 modifiedNs = 0;
    QByteArray digest; // of its duplicate group
  };

  // One store per scan kind for the whole process: the page may delete what
  // any scan of that kind showed it (its own, or the overview's).
  static ShownFiles &largeFiles();
  static ShownFiles &duplicates();

  // A later report of the same path replaces the earlier one.
  void add(const FileRecord &record, const QByteArray &digest = QByteArray());
  bool find(const QString &path, Entry &entry) const;
  void remove(const QString &path);

private:
  mutable std::mutex mutex_;
  QHash<QString, Entry> entries_;
};
