#include "disk/DriveInfo.h"

#include "base/log/Log.h"
#include "disk/DiskRecord.h"
#include "disk/JsonText.h"

#include <QDir>

DriveInfo::DriveInfo() : DriveInfo(std::shared_ptr<StorageInfo>(createStorageInfo())) {}

DriveInfo::DriveInfo(std::shared_ptr<StorageInfo> storage) : storage_(std::move(storage)) {}

double DriveInfo::throughFloat(quint64 value) {
  return double(float(value));
}

QString DriveInfo::getDiskList() {
  const StorageInfo::DiskListing listing = storage_->diskListing();
  QVector<DiskRecord> records;
  if (listing.isToolText) {
    records = DiskRecord::parseColumnText(listing.toolText);
  } else {
    for (const StorageInfo::Disk &disk : listing.disks) {
      DiskRecord record;
      record.model = disk.model;
      record.serialNumber = disk.serialNumber;
      record.size = double(disk.sizeBytes);
      records.append(record);
    }
  }
  QJsonArray list;
  for (const DiskRecord &record : records)
    list.append(record.toJson());
  return JsonText::list(list);
}

double DriveInfo::getMemeryBits() {
  return throughFloat(storage_->physicalMemoryBytes());
}

double DriveInfo::getSystemDriveFreeBits() {
  return throughFloat(freeBytes(QDir::rootPath()));
}

double DriveInfo::getSystemDriveTotalBits() {
  return throughFloat(totalBytes(QDir::rootPath()));
}

QString DriveInfo::getLogicalDrives() {
  QJsonArray list;
  for (const StorageInfo::Volume &volume : storage_->localVolumes()) {
    list.append(QJsonObject{{QStringLiteral("drive"), volume.mountPoint},
                            {QStringLiteral("freeSpace"), double(freeBytes(volume.mountPoint))},
                            {QStringLiteral("isRemovable"), volume.isRemovable},
                            {QStringLiteral("totalSpace"), double(totalBytes(volume.mountPoint))}});
  }
  return JsonText::list(list);
}

bool DriveInfo::volumeSpace(const QString &path, StorageInfo::VolumeSpace &space) {
  if (storage_->volumeSpace(path, space))
    return true;
  Log::info("NativeUtil", "ERROR: Call to GetDiskFreeSpaceEx() failed.");
  return false;
}

quint64 DriveInfo::freeBytes(const QString &path) {
  StorageInfo::VolumeSpace space;
  return volumeSpace(path, space) ? space.freeBytes : 1;
}

quint64 DriveInfo::totalBytes(const QString &path) {
  StorageInfo::VolumeSpace space;
  return volumeSpace(path, space) ? space.totalBytes : 1;
}

bool DriveInfo::isRemovableDrive(const QString &drive) {
  for (const StorageInfo::Volume &volume : storage_->localVolumes()) {
    if (volume.mountPoint == drive)
      return volume.isRemovable;
  }
  return false;
}

QString DriveInfo::systemDiskSerialNumber() {
  return storage_->systemDiskSerialNumber();
}
