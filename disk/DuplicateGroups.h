#pragma once
// Files by content digest, and the {"groups": [...]} text both duplicate
// scans return. Each record's JSON form is made once, when it joins, so a
// background scan can send its groups again and again at little cost.
#include "disk/FileRecord.h"

#include <QByteArray>
#include <map>

class DigestGroups {
public:
  // Appends the record to the group of the hexadecimal digest.
  void add(const QByteArray &digest, const FileRecord &record);

  // Only digests shared by two or more records, in ascending digest order,
  // the records in the order they joined.
  QString toText() const;

  // Groups of two or more records and the records in them.
  void count(int &groupCount, int &fileCount) const;

private:
  struct Group {
    qint64 size = 0; // of the first record
    QVector<QJsonObject> files;
  };
  std::map<QByteArray, Group> groups_;
};
