#include "disk/DuplicateGroups.h"

#include <QJsonDocument>

// The text is exactly what QJsonDocument writes in its indented form for
// {"groups": [{"files": [...], "hash": ..., "size": ...}, ...]}, put together
// from pieces made once per record: a background scan sends the groups every
// few seconds, and serialising tens of thousands of records each time would
// cost more than the scan.
namespace {

const QString recordIndent(16, QLatin1Char(' '));

// A value's text as QJsonDocument writes it.
QString sizeText(qint64 size) {
  const QByteArray document =
      QJsonDocument(QJsonObject{{QStringLiteral("size"), double(size)}}).toJson();
  const int start = document.indexOf(':') + 2;
  return QString::fromLatin1(document.mid(start, document.indexOf('\n', start) - start));
}

// The record's object, indented to its depth in the document.
QString recordText(const FileRecord &record) {
  QString text = QString::fromUtf8(QJsonDocument(record.toJson()).toJson(QJsonDocument::Indented));
  text.chop(1); // the final line break
  text.replace(QLatin1Char('\n'), QLatin1Char('\n') + recordIndent);
  return recordIndent + text;
}

} // namespace

void DigestGroups::add(const QByteArray &digest, const FileRecord &record) {
  Group &group = groups_[digest];
  if (group.files.isEmpty())
    group.size = sizeText(record.size);
  group.files.append(recordText(record));
}

QString DigestGroups::toText() const {
  QStringList groups;
  for (const auto &[digest, group] : groups_) {
    if (group.files.size() < 2)
      continue;
    groups.append(QStringLiteral("        {\n            \"files\": [\n") +
                  group.files.join(QStringLiteral(",\n")) +
                  QStringLiteral("\n            ],\n            \"hash\": \"") +
                  QString::fromLatin1(digest) + QStringLiteral("\",\n            \"size\": ") +
                  group.size + QStringLiteral("\n        }"));
  }
  if (groups.isEmpty())
    return QStringLiteral("{\n    \"groups\": [\n    ]\n}\n");
  return QStringLiteral("{\n    \"groups\": [\n") + groups.join(QStringLiteral(",\n")) +
         QStringLiteral("\n    ]\n}\n");
}

void DigestGroups::count(int &groupCount, int &fileCount) const {
  groupCount = 0;
  fileCount = 0;
  for (const auto &entry : groups_) {
    if (entry.second.files.size() >= 2) {
      ++groupCount;
      fileCount += entry.second.files.size();
    }
  }
}
