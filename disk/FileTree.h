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

// The folder a caller gave (expanded), opened into fd as a walk begins there
// and added to files as a root: its index in files, or -1 when no folder is
// there.
int addRoot(const QString &folder, FileList &files, UniqueFd &fd);

// One level only of the open folder, which files holds at index folder: its
// files that pass filter (readable), and its subfolders, added to files and
// their indexes appended to subfolders. Nothing of the path is kept per
// level, so a tree of any depth costs memory by its entries only. Returns
// false when stopped, leaving the subfolders out.
bool listLevel(int fd, int folder, const Filter &filter, const std::atomic<bool> &stop,
               FileList &files, QVector<int> &subfolders);

} // namespace FileTree
