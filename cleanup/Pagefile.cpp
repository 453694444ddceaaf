#include "cleanup/Pagefile.h"

#include "platform/storage/StorageInfo.h"
#include "platform/swap/SwapApi.h"
#include "platform/swap/SwapFiles.h"

Pagefile::Pagefile() : Pagefile(createStorageInfo(), createSwapApi()) {}

Pagefile::Pagefile(std::shared_ptr<StorageInfo> storage, std::shared_ptr<SwapApi> swap)
    : storage_(std::move(storage)), swap_(std::move(swap)) {}

Pagefile::~Pagefile() = default;

QString Pagefile::getPagefileSize() {
  const quint64 mebibytes = SwapFiles::totalBytes(SwapFiles::active(*storage_)) >> 20;
  return QString::number(mebibytes << 20);
}

bool Pagefile::migratePagefile(const QString &target) {
  const QString mountPoint = target.trimmed();
  // Refused before anything changes; the helper checks again on its own.
  if (!swap_->isSwapTarget(mountPoint))
    return false;
  return swap_->moveSwapFilesTo(mountPoint);
}
