#include "disk/DuplicateGroups.h"

#include <algorithm>

// The text is exactly what QJsonDocument writes in its indented form, put
// together from pieces. A background scan makes each record's piece once and
// sends the groups every few seconds: serialising tens of thousands of
// records each time would cost more than the scan.
namespace {

constexpr int fileIndent = 16;

} // namespace

void DigestGroups::add(const QByteArray &digest, const FileRecord &record) {
  Group &group = groups_[digest];
  if (group.files.isEmpty())
    group.size = FileRecord::numberText(record.size);
  // One digest, one content, one size.
  QString text;
  record.appendJson(text, fileIndent);
  group.files.append(text);
  group.records.append(record);
}

QString DigestGroups::toText() const {
  qint64 room = 0;
  for (const auto &entry : groups_) {
    for (const QString &file : entry.second.files)
      room += file.size() + 2;
    room += 200;
  }
  Writer writer(room, std::move(lastText_));
  for (const auto &[digest, group] : groups_) {
    if (group.files.size() < 2)
      continue;
    for (const QString &file : group.files)
      writer.addFileText(file);
    writer.endGroup(digest, group.size);
  }
  lastText_ = writer.finish();
  return lastText_;
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

void DigestGroups::remember(ShownFiles &shown) const {
  for (const auto &[digest, group] : groups_) {
    if (group.records.size() >= 2) {
      for (const FileRecord &record : group.records)
        shown.add(record, digest);
    }
  }
}

DigestGroups::Writer::Writer(qint64 room, QString buffer) : text_(std::move(buffer)) {
  text_.resize(0); // keeps the memory unless another holder shares it
  text_.reserve(int(std::min<qint64>(room + 64, 1 << 29)));
  text_ += QLatin1String("{\n    \"groups\": [\n");
}

void DigestGroups::Writer::beginFile() {
  if (inGroup_) {
    text_ += QLatin1String(",\n");
    return;
  }
  if (anyGroup_)
    text_ += QLatin1String(",\n");
  text_ += QLatin1String("        {\n            \"files\": [\n");
  inGroup_ = true;
  anyGroup_ = true;
}

void DigestGroups::Writer::addFile(const FileRecord &record) {
  beginFile();
  record.appendJson(text_, fileIndent);
}

void DigestGroups::Writer::addFileText(const QString &text) {
  beginFile();
  text_ += text;
}

void DigestGroups::Writer::endGroup(const QByteArray &digest, const QString &sizeText) {
  text_ += QLatin1String("\n            ],\n            \"hash\": \"");
  text_ += QLatin1String(digest);
  text_ += QLatin1String("\",\n            \"size\": ");
  text_ += sizeText;
  text_ += QLatin1String("\n        }");
  inGroup_ = false;
}

QString DigestGroups::Writer::finish() {
  text_ += anyGroup_ ? QLatin1String("\n    ]\n}\n") : QLatin1String("    ]\n}\n");
  return std::move(text_);
}
