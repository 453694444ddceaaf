#pragma once
// The page-file methods of the script object, over swap: the size of the
// active swap files, and moving them to another drive.
#include <QString>
#include <memory>

class StorageInfo;
class SwapApi;

class Pagefile {
public:
  Pagefile(); // this machine
  Pagefile(std::shared_ptr<StorageInfo> storage, std::shared_ptr<SwapApi> swap);
  ~Pagefile();

  // Whole MiB, in bytes; "0" when there is no swap file.
  QString getPagefileSize();
  // target: a mount point as getLogicalDrives names it.
  bool migratePagefile(const QString &target);

private:
  std::shared_ptr<StorageInfo> storage_;
  std::shared_ptr<SwapApi> swap_;
};
