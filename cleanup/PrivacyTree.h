#pragma once
// Measuring and emptying the folders of the privacy categories, all through
// the one file walker and beneath the folder's descriptor: links are deleted
// and never followed, other mounts are never entered, the folder itself
// always stays.
#include <QSet>
#include <QString>

#include <functional>

#include "platform/storage/FileWalker.h"

class EntryRules;

struct CleanCount {
  int deleted = 0;
  int failed = 0; // entries that were to go and are still there

  CleanCount &operator+=(const CleanCount &other) {
    deleted += other.deleted;
    failed += other.failed;
    return *this;
  }
};

namespace PrivacyTree {

// Bytes of the regular files below the open folder, each file once across
// seen; with rules, only the files they let go.
qint64 measure(int folder, QSet<FileId> &seen, const EntryRules *rules);

// Calls found for every regular file below the open folder, known as
// folderPath, that the rules (when given) let go; path() builds the file's
// path from the names on the way down, for the files that need one.
using FoundFile = std::function<void(const WalkEntry &entry, const std::function<QString()> &path)>;
void forEachFile(int folder, const QString &folderPath, const EntryRules *rules,
                 const FoundFile &found);

// Deletes everything below the open folder; with rules, only what they let
// go, and a folder only when it ends up empty.
CleanCount empty(int folder, const EntryRules *rules);

// Empties an open trash folder: each item as files/NAME, then its
// info/NAME.trashinfo once the item is gone; then info files left without an
// item, expunged/ and the directorysizes cache. An item counts as one entry.
CleanCount emptyTrash(int trash);

} // namespace PrivacyTree
