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
  // Local time, "yyyy-MM-dd hh:mm", in the zone last resolved.
  QString modifiedTime() const;
  // Reads the time zone (TZ, /etc/localtime) again; each scan starts with it.
  // Formatting itself does not look at the zone files.
  static void resolveTimeZone();
  QJsonObject toJson() const;

  static QJsonArray toJsonArray(const QVector<FileRecord> &records);
  // Largest first; equal sizes in no particular order.
  static void sortBySize(QVector<FileRecord> &records);
};
