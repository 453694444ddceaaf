#pragma once
// One file found by a scan.
#include "platform/storage/FileWalker.h"

#include <QJsonObject>
#include <QString>

struct FileRecord {
  QString path; // absolute, "/" separators
  qint64 size = 0;
  qint64 modifiedSecs = 0; // seconds since the epoch
  qint64 modifiedNs = 0;   // the same time to the nanosecond; not sent to scripts
  FileId id;               // the same for every hard link; not sent to scripts
  FileId folder;           // the folder holding it, as the walk found it; not sent

  QString name() const;
  // Local time, "yyyy-MM-dd hh:mm", in the zone last resolved.
  QString modifiedTime() const;
  // Reads the time zone (TZ, /etc/localtime) again; each scan starts with it.
  // Formatting itself does not look at the zone files.
  static void resolveTimeZone();
  QJsonObject toJson() const;
  // toJson() as QJsonDocument's indented form writes it at a depth of indent
  // spaces, with no line break after the closing brace.
  void appendJson(QString &out, int indent) const;
  // A JSON number as QJsonDocument writes it.
  static QString numberText(qint64 value);
};
