#pragma once
// The duplicate groups of a set of found files, computed on every core.
//
// Gives exactly what hashing every file that shares its size, size by size in
// ascending order, would give, but reads less: a file whose size is unique is
// never opened, and a file whose first 4 KiB differ from those of every other
// file of its size is not read further. Files whose first 4 KiB match are
// compared with each other, and only one file of each shared content is
// hashed in full.
#include "disk/DuplicateGroups.h"
#include "disk/FileList.h"

namespace DuplicateSearch {

constexpr int prefixLength = 4096;

// The {"groups": [...]} text of files, given in the order they were found;
// a file found twice (by its path or through a hard link) counts once. Each
// grouped file is remembered in ShownFiles::duplicates().
QString run(const FileList &files);

} // namespace DuplicateSearch
