#pragma once
// Replaces a copy in a duplicate group by the file kept, so that every path
// still reads the same bytes while the copy's blocks return to the file
// system at once:
//
// - Where the file system shares blocks (btrfs, XFS), the copy's blocks are
//   shared with the kept file's in place (FIDEDUPERANGE): the kernel compares
//   each range under lock before sharing it, and the copy keeps its inode,
//   owner, mode and times, so it stays a file of its own that a later write
//   unshares. This is tried first.
// - Elsewhere the copy becomes a hard link to the kept file, on the same file
//   system only: a link to the kept file is made under a temporary name
//   beside the copy, the copy is compared byte for byte with it once more and
//   must still be the file listed, then the two names are exchanged in one
//   rename and the old copy, checked to be the one compared, is unlinked. The
//   path then shares the kept file's owner, mode and times; the copy's are
//   noted so that an undo can give them back.
//
// Both files must have been found again as listed (ListedFile::find); all
// work is relative to their folders' descriptors.
#include "disk/ListedFile.h"

#include <QJsonObject>

namespace CopyLinker {

// Linked, Shared, or why not; freed is what the file system got back now,
// noted what an undo needs of the copy replaced by a link.
ListedFile::Result replace(const ListedFile::Found &copy, const ShownFiles::Entry &copyEntry,
                           const ListedFile::Found &kept, const ShownFiles::Entry &keptEntry,
                           qint64 &freed, QJsonObject &noted);

} // namespace CopyLinker
