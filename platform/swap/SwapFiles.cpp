#include "platform/swap/SwapFiles.h"

#include <QFileInfo>

#include <unistd.h>

namespace SwapFiles {

QVector<SwapFile> active(StorageInfo &storage) {
  // The kernel counts the pages after the swap header.
  const quint64 headerBytes = quint64(::sysconf(_SC_PAGESIZE));
  const QString deletedMark = QStringLiteral(" (deleted)");
  QVector<SwapFile> files;
  for (const StorageInfo::SwapArea &area : storage.swapAreas()) {
    if (area.type != QLatin1String("file"))
      continue;
    if (area.name.endsWith(deletedMark) && !QFileInfo::exists(area.name))
      continue;
    files.append({area.name, area.sizeBytes + headerBytes});
  }
  return files;
}

quint64 totalBytes(const QVector<SwapFile> &files) {
  quint64 total = 0;
  for (const SwapFile &file : files)
    total += file.sizeBytes;
  return total;
}

} // namespace SwapFiles
