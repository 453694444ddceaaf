#pragma once
// Measuring and emptying the folders of the privacy categories, all through
// the one file walker: links are deleted and never followed, other file
// systems are never entered, the folder itself always stays.
#include <QSet>
#include <QString>

#include "platform/storage/FileWalker.h"

class TempFileRules;

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

// Bytes of the regular files below folder, each file once across seen; with
// rules, only the files they let go. 0 when the folder cannot be opened.
qint64 measure(const QString &folder, QSet<FileId> &seen, const TempFileRules *rules);

// Deletes everything below folder; with rules, only what they let go, and a
// folder only when it ends up empty.
CleanCount empty(const QString &folder, const TempFileRules *rules);

// Empties a trash folder: each item as files/NAME, then its
// info/NAME.trashinfo once the item is gone; then info files left without an
// item, expunged/ and the directorysizes cache. An item counts as one entry.
CleanCount emptyTrash(const QString &trashFolder);

} // namespace PrivacyTree
