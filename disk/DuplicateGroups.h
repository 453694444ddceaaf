#pragma once
// Files by content digest, and the {"groups": [...]} text both duplicate
// scans return. Each record's JSON form is made once, when it joins, so a
// background scan can send its groups again and again at little cost.
#include "disk/FileRecord.h"
#include "disk/ShownFiles.h"

#include <QByteArray>
#include <QStringList>
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

  // Remembers the records of those groups, with their digest, for a later
  // deletion.
  void remember(ShownFiles &shown) const;

  // Writes the text group by group, as QJsonDocument's indented form of
  // {"groups": [{"files": [...], "hash": ..., "size": ...}, ...]}.
  class Writer {
  public:
    // room: characters to set aside, so the text never moves as it grows;
    // buffer: an earlier text whose memory may be used again.
    explicit Writer(qint64 room, QString buffer = QString());
    void addFile(const FileRecord &record);
    // The JSON text of a record written at the depth of a group's files.
    void addFileText(const QString &text);
    // Closes the group of the files added since the last one.
    void endGroup(const QByteArray &digest, const QString &sizeText);
    QString finish();

  private:
    void beginFile();

    QString text_;
    bool inGroup_ = false;
    bool anyGroup_ = false;
  };

private:
  struct Group {
    QString size;      // of the first record, as JSON text
    QStringList files; // each record's JSON text
    QVector<FileRecord> records;
  };
  std::map<QByteArray, Group> groups_;
  // The last text made: once its receivers let go of it, its memory is
  // written again, not taken anew (and faulted in page by page).
  mutable QString lastText_;
};
