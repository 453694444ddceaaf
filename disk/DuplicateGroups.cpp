#include "disk/DuplicateGroups.h"

#include "disk/JsonText.h"

namespace DuplicateGroups {

QString toText(const DigestGroups &groups) {
  QJsonArray array;
  for (const auto &[digest, records] : groups) {
    if (records.size() < 2)
      continue;
    array.append(QJsonObject{{QStringLiteral("files"), FileRecord::toJsonArray(records)},
                             {QStringLiteral("hash"), QString::fromLatin1(digest)},
                             {QStringLiteral("size"), double(records.first().size)}});
  }
  return JsonText::indented(QJsonObject{{QStringLiteral("groups"), array}});
}

void count(const DigestGroups &groups, int &groupCount, int &fileCount) {
  groupCount = 0;
  fileCount = 0;
  for (const auto &entry : groups) {
    if (entry.second.size() >= 2) {
      ++groupCount;
      fileCount += entry.second.size();
    }
  }
}

} // namespace DuplicateGroups
