#include "disk/FileRecord.h"

#include <QDateTime>

#include <algorithm>
#include <mutex>

QString FileRecord::name() const {
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FileRecord::modifiedTime() const {
  // Files of one folder mostly share their minute: the last one converted
  // is kept per thread, as local-time conversion is slow.
  thread_local qint64 lastMinute = -1;
  thread_local QString lastText;
  const qint64 minute = modifiedSecs >= 0 ? modifiedSecs / 60 : (modifiedSecs - 59) / 60;
  if (minute == lastMinute)
    return lastText;
  // It re-reads the time zone through C library state; threads take turns.
  static std::mutex localTime;
  std::lock_guard<std::mutex> lock(localTime);
  lastText = QDateTime::fromSecsSinceEpoch(modifiedSecs, Qt::LocalTime)
                 .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
  lastMinute = minute;
  return lastText;
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
