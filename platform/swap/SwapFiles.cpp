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
    // The kernel's count leaves out the header and blocks it could not use,
    // so the file itself is the measure wherever it can be seen.
    const QFileInfo file(area.name);
    files.append({area.name, file.isFile() ? quint64(file.size()) : area.sizeBytes + headerBytes});
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
