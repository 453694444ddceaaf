#pragma once
// The duplicate groups of a set of found files, computed on every core.
//
// Gives exactly what hashing every file that shares its size, size by size in
// ascending order, would give, but reads less: a file whose size is unique is
// never opened, and a file whose first 4 KiB differ from those of every other
// file of its size is not read further. Files whose first 4 KiB match are
// compared with each other, and only one file of each shared content is
// hashed in full. What an earlier search learnt (DigestCache) is not read
// again.
#include "disk/DigestCache.h"
#include "disk/DuplicateGroups.h"
#include "disk/FileList.h"

namespace DuplicateSearch {

// The {"groups": [...]} text of files, given in the order they were found;
// a file found twice (by its path or through a hard link) counts once. Each
// grouped file is remembered in ShownFiles::duplicates(). What the cache
// knows of these files is used, and what reading them taught is saved in it.
QString run(const FileList &files, DigestCache &cache);

} // namespace DuplicateSearch
