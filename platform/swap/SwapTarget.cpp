#include "platform/swap/SwapTarget.h"

#include <QDir>

namespace SwapTarget {

bool accepts(StorageInfo &storage, const QString &mountPoint) {
  if (!mountPoint.startsWith(QLatin1Char('/')) || mountPoint == QLatin1String("/") ||
      QDir::cleanPath(mountPoint) != mountPoint)
    return false;
  for (const StorageInfo::Volume &volume : storage.localVolumes()) {
    if (volume.mountPoint == mountPoint)
      return !volume.isRemovable;
  }
  return false;
}

QString swapFilePath(const QString &mountPoint) {
  return mountPoint + QStringLiteral("/swapfile");
}

} // namespace SwapTarget
