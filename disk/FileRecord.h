#pragma once
// One file found by a scan.
#include "platform/storage/FileWalker.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

struct FileRecord {
  QString path; // absolute, "/" separators
  qint64 size = 0;
  qint64 modifiedSecs = 0; // seconds since the epoch
  FileId id;               // the same for every hard link; not sent to scripts

  QString name() const;
  // Local time, "yyyy-MM-dd hh:mm".
  QString modifiedTime() const;
  QJsonObject toJson() const;

  static QJsonArray toJsonArray(const QVector<FileRecord> &records);
  // Largest first; equal sizes in no particular order.
  static void sortBySize(QVector<FileRecord> &records);
};
