#pragma once
// Drive, disk and memory facts for page scripts, plus the storage queries the
// rest of the program uses internally.
#include "platform/storage/StorageInfo.h"

#include <QString>
#include <memory>

class DriveInfo {
public:
  DriveInfo();
  explicit DriveInfo(std::shared_ptr<StorageInfo> storage);

  QString getDiskList();
  double getMemeryBits();
  double getSystemDriveFreeBits();
  double getSystemDriveTotalBits();
  QString getLogicalDrives();

  // Space of the volume holding path; 1 (and a log line) when it cannot be queried.
  quint64 freeBytes(const QString &path);
  quint64 totalBytes(const QString &path);
  // Whether the volume mounted at the drive's mount point sits on a removable disk.
  bool isRemovableDrive(const QString &drive);
  // The physical disk under the system root; empty when not available.
  QString systemDiskSerialNumber();

private:
  // Script numbers pass through single precision on their way out.
  static double throughFloat(quint64 value);
  bool volumeSpace(const QString &path, StorageInfo::VolumeSpace &space);

  std::shared_ptr<StorageInfo> storage_;
};
