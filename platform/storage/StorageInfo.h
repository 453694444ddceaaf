#pragma once
// Storage and memory facts of the machine: physical disks, the board serial,
// swap areas, physical memory, volume space, mounted volumes and the disk that
// holds the system root. One implementation per platform; createStorageInfo()
// picks the one for this build.
#include <QString>
#include <QVector>
#include <memory>

class StorageInfo {
public:
  struct Disk {
    QString model;
    QString serialNumber;
    quint64 sizeBytes = 0;
  };

  // A backend either reads the disks directly or only has a disk tool's column
  // text (header line, then model, serial and size separated by runs of two or
  // more spaces), which the caller parses.
  struct DiskListing {
    bool isToolText = false;
    QString toolText;
    QVector<Disk> disks;
  };

  struct VolumeSpace {
    quint64 totalBytes = 0;
    quint64 freeBytes = 0; // all free blocks, including those reserved for root
  };

  // A mounted local block-device file system other than the system root,
  // named by its mount point.
  struct Volume {
    QString mountPoint;
    bool isRemovable = false;
  };

  struct SwapArea {
    QString name;
    quint64 sizeBytes = 0;
    QString type; // "file" or "partition"
  };

  virtual ~StorageInfo() = default;

  virtual DiskListing diskListing() = 0;
  // Empty when not available (often readable by root only).
  virtual QString boardSerialNumber() = 0;
  virtual QVector<SwapArea> swapAreas() = 0;
  // 0 when not available.
  virtual quint64 physicalMemoryBytes() = 0;
  // False when the volume holding the path cannot be queried.
  virtual bool volumeSpace(const QString &path, VolumeSpace &space) = 0;
  // Once per device, in mount-point order.
  virtual QVector<Volume> localVolumes() = 0;
  // Serial number of the physical disk under the system root; empty when unknown.
  virtual QString systemDiskSerialNumber() = 0;
};

std::unique_ptr<StorageInfo> createStorageInfo();
