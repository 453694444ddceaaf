#pragma once
// Which mount points may take the swap file.
#include <QString>

#include "platform/storage/StorageInfo.h"

namespace SwapTarget {

// A mounted local block-device file system other than "/", on a fixed disk,
// named exactly as mounted (absolute, no "." or ".." parts, no trailing "/").
bool accepts(StorageInfo &storage, const QString &mountPoint);

// Where the swap file goes on an accepted mount point.
QString swapFilePath(const QString &mountPoint);

} // namespace SwapTarget
