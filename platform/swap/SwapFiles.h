#pragma once
// The active swap files of the machine, as the swap facility sees them.
#include <QString>
#include <QVector>

#include "platform/storage/StorageInfo.h"

struct SwapFile {
  QString path;
  quint64 sizeBytes = 0; // the file's size; else the kernel's usable size plus the header page
};

namespace SwapFiles {

// Files only: partitions (zram among them) cannot be moved, and a file that
// was deleted while active has no name left to manage it by.
QVector<SwapFile> active(StorageInfo &storage);

quint64 totalBytes(const QVector<SwapFile> &files);

} // namespace SwapFiles
