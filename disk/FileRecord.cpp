#include "disk/FileRecord.h"

#include <QDateTime>

#include <algorithm>
#include <mutex>

QString FileRecord::name() const {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FileRecord::modifiedTime() const {
  // Local-time conversion re-reads the time zone through C library state;
  // scans of several threads take turns.
  static std::mutex localTime;
  std::lock_guard<std::mutex> lock(localTime);
  return QDateTime::fromSecsSinceEpoch(modifiedSecs, Qt::LocalTime)
      .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QJsonObject FileRecord::toJson() const {
  return QJsonObject{{QStringLiteral("modifiedTime"), modifiedTime()},
                     {QStringLiteral("name"), name()},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("size"), double(size)}};
}

QJsonArray FileRecord::toJsonArray(const QVector<FileRecord> &records) {
  QJsonArray array;
  for (const FileRecord &record : records)
    array.append(record.toJson());
  return array;
}

void FileRecord::sortBySize(QVector<FileRecord> &records) {
  std::sort(records.begin(), records.end(),
            [](const FileRecord &a, const FileRecord &b) { return a.size > b.size; });
}
