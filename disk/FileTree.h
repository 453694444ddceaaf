#pragma once
// Walking scan folders. Files and subfolders pass the scans' filter: readable,
// not hidden, not symbolic links (links are neither listed nor followed).
#include "disk/FileRecord.h"

#include <QStringList>
#include <atomic>

namespace FileTree {

// The absolute, clean path of the directory a (expanded) folder names, or an
// empty string when no directory exists there.
QString directoryPath(const QString &folder);

// Appends every file of at least minimumSize bytes under directory (an
// absolute path), depth first, each subfolder walked where the listing meets
// it. Returns early once *stop is set (stop may be null).
void collect(const QString &directory, qint64 minimumSize, const std::atomic<bool> *stop,
             QVector<FileRecord> &records);

// What collect gives without a stop flag, the top folder's subfolders walked
// on all cores.
void collectInParallel(const QString &directory, qint64 minimumSize, QVector<FileRecord> &records);

// One level only: the folder's files of at least minimumSize bytes, and its
// subfolders as folder + "/" + name. Returns false when stopped, leaving the
// subfolders out.
bool listLevel(const QString &folder, qint64 minimumSize, const std::atomic<bool> &stop,
               QVector<FileRecord> &records, QStringList &subfolders);

} // namespace FileTree
