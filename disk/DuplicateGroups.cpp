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

// The record's object as QJsonDocument writes it, indented to its depth in
// the document. Text is written directly; a string with a control character or
// a surrogate, whose escaped form is QJsonDocument's own, goes through it.
bool appendString(QString &out, const QString &text) {
  out += QLatin1Char('"');
  for (const QChar c : text) {
    if (c.unicode() < 0x20 || c.isSurrogate())
      return false;
    if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
      out += QLatin1Char('\\');
    out += c;
  }
  out += QLatin1Char('"');
  return true;
}

QString recordText(const FileRecord &record, const QString &size) {
  const QString name = record.name();
  QString text;
  text.reserve(recordIndent.size() * 6 + 64 + record.path.size() * 2 + name.size());
  text +=
      recordIndent + QLatin1String("{\n") + recordIndent + QLatin1String("    \"modifiedTime\": ");
  bool direct = appendString(text, record.modifiedTime());
  text += QLatin1String(",\n") + recordIndent + QLatin1String("    \"name\": ");
  direct = direct && appendString(text, name);
  text += QLatin1String(",\n") + recordIndent + QLatin1String("    \"path\": ");
  direct = direct && appendString(text, record.path);
  if (direct) {
    text += QLatin1String(",\n") + recordIndent + QLatin1String("    \"size\": ") + size +
            QLatin1Char('\n') + recordIndent + QLatin1Char('}');
    return text;
  }
  text = QString::fromUtf8(QJsonDocument(record.toJson()).toJson(QJsonDocument::Indented));
  text.chop(1); // the final line break
  text.replace(QLatin1Char('\n'), QLatin1Char('\n') + recordIndent);
  return recordIndent + text;
}

} // namespace

void DigestGroups::add(const QByteArray &digest, const FileRecord &record) {
  Group &group = groups_[digest];
  if (group.files.isEmpty())
    group.size = sizeText(record.size);
  // One digest, one content, one size.
  group.files.append(recordText(record, group.size));
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
