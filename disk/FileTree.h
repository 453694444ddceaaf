#pragma once
// Walking scan folders through the storage walker. Files and subfolders pass
// the scans' filter: not hidden (unless asked for), and readable unless the caller opens every
// file it keeps anyway (a failed open then says the same, one call cheaper); links are neither
// listed nor followed, and a walk never leaves the file system of its folder nor enters a pseudo
// file system. Paths are in FileName's text form, so a name that is not valid UTF-8 comes back to
// the file system as the same bytes.
#include "disk/FileList.h"

#include <QStringList>
#include <atomic>

namespace FileTree {

// The absolute, clean path of the directory a (expanded) folder names, or an
// empty string when no directory exists there.
QString directoryPath(const QString &folder);

enum class Access { Readable, OpenedLater };

struct Filter {
  qint64 minimumSize = 0;
  Access access = Access::Readable;
  // Hidden entries (names beginning with ".") are listed and entered; else
  // they are left out, and counted in the list (FileList::skippedHidden).
  bool includeHidden = false;
};

// Appends every file that passes filter under directory (an absolute path),
// depth first, each subfolder walked where the listing meets it. Returns
// early once *stop is set (stop may be null).
void collect(const QString &directory, const Filter &filter, const std::atomic<bool> *stop,
             FileList &files);

// What collect gives without a stop flag, the top folder's subfolders walked
// on all cores.
void collectInParallel(const QString &directory, const Filter &filter, FileList &files);

// A subfolder met by listLevel: its path, and its identity, which must still
// be the folder's when it is listed in turn.
struct Subfolder {
  QString path;
  FileId id;
};

// One level only: the folder's files that pass filter (readable), and its
// subfolders as folder + "/" + name. With expected set, the folder is listed
// only while it is still that folder and not a link. Returns false when
// stopped, leaving the subfolders out.
bool listLevel(const QString &folder, const FileId *expected, const Filter &filter,
               const std::atomic<bool> &stop, FileList &files, QVector<Subfolder> &subfolders);

} // namespace FileTree
