#include "disk/DuplicateGroups.h"

#include "disk/JsonText.h"

void DigestGroups::add(const QByteArray &digest, const FileRecord &record) {
  Group &group = groups_[digest];
  if (group.files.isEmpty())
    group.size = record.size;
  group.files.append(record.toJson());
}

QString DigestGroups::toText() const {
  QJsonArray array;
  for (const auto &[digest, group] : groups_) {
    if (group.files.size() < 2)
      continue;
    QJsonArray files;
    for (const QJsonObject &file : group.files)
      files.append(file);
    array.append(QJsonObject{{QStringLiteral("files"), files},
                             {QStringLiteral("hash"), QString::fromLatin1(digest)},
                             {QStringLiteral("size"), double(group.size)}});
  }
  return JsonText::indented(QJsonObject{{QStringLiteral("groups"), array}});
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
