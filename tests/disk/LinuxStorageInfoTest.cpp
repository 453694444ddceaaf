#include "platform/storage/LinuxStorageInfo.h"

#include "DiskTestSupport.h"

#include <sys/statvfs.h>

#include <gtest/gtest.h>

namespace {

// A sysfs, procfs and udev tree of a machine with an internal disk (root on
// its first partition, /home on device-mapper over its second), a USB stick,
// a card reader, a loop device, a CD-ROM and the usual pseudo file systems.
class FakeMachine : public ::testing::Test {
protected:
  void SetUp() override {
    const QString pci = "sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block";
    const QString usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/"
                        "target6:0:0/6:0:0:0/block";
    const QString mmc = "sys/devices/pci0000:00/0000:00:1c.0/mmc_host/mmc0/block";
    disk(pci + "/sda", "8:0", "1000", "0", "Samsung SSD 870   \n");
    partition(pci + "/sda/sda1", "8:1");
    partition(pci + "/sda/sda2", "8:2");
    disk(usb + "/sdb", "8:16", "2000", "0", "Flash Disk\n");
    partition(usb + "/sdb/sdb1", "8:17");
    disk(mmc + "/sdc", "8:32", "3000", "1", "");
    tree.write(mmc + "/sdc/device/serial", "CARD32\n");
    partition(mmc + "/sdc/sdc1", "8:33");
    disk("sys/devices/virtual/block/loop0", "7:0", "10", "0", "");
    disk("sys/devices/virtual/block/dm-0", "254:0", "900", "0", "");
    tree.mkdir("sys/devices/virtual/block/dm-0/slaves");
    link("sys/devices/virtual/block/dm-0/slaves/sda2", pci + "/sda/sda2");
    disk("sys/devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sr0", "11:0",
         "4", "1", "DVD\n");
    tree.write("run/udev/data/b8:0", "S:disk/by-id/x\nE:ID_SERIAL_SHORT=SHORT0\n"
                                     "E:ID_SCSI_SERIAL=SCSI0  \n");
    tree.write("run/udev/data/b8:16", "E:ID_SERIAL_SHORT=USB16\n");
    tree.write("proc/self/mountinfo",
               "21 26 0:20 / /proc rw - proc proc rw\n"
               "26 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
               "30 26 254:0 / /home rw - ext4 /dev/mapper/vg-home rw\n"
               "31 26 8:17 /sub /aaa rw - vfat /dev/sdb1 rw\n"
               "32 26 8:17 / /media/usb\\040stick rw shared:1 - vfat /dev/sdb1 rw\n"
               "33 32 8:17 /sub /media/usb\\040stick/bind rw - vfat /dev/sdb1 rw\n"
               "34 26 8:33 / /media/card rw - exfat /dev/sdc1 rw\n"
               "35 26 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
               "36 26 0:40 / /tmp rw - tmpfs tmpfs rw\n"
               "37 26 0:50 / /mnt/nfs rw - nfs4 server:/export rw\n"
               "38 26 7:0 / /snap/core rw - squashfs /dev/loop0 ro\n"
               "39 26 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n");
    tree.write("proc/meminfo", "MemTotal:       16384 kB\nMemFree:  100 kB\n");
    tree.write("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n"
                             "/swap\\040file                           file\t\t1048572\t0\t-2\n"
                             "/dev/sda3                               partition\t2048\t0\t-3\n");
    tree.write("sys/class/dmi/id/board_serial", "BSN123\n");
  }

  void link(const QString &name, const QString &target) {
    QDir().mkpath(QFileInfo(tree.path(name)).path());
    ASSERT_TRUE(QFile::link(tree.path(target), tree.path(name))) << name.toStdString();
  }
  void disk(const QString &dir, const QString &dev, const QByteArray &sectors,
            const QByteArray &removable, const QByteArray &model) {
    tree.write(dir + "/dev", dev.toLatin1() + "\n");
    tree.write(dir + "/size", sectors + "\n");
    tree.write(dir + "/removable", removable + "\n");
    if (!model.isEmpty())
      tree.write(dir + "/device/model", model);
    link("sys/block/" + QFileInfo(dir).fileName(), dir);
    link("sys/dev/block/" + dev, dir);
  }
  void partition(const QString &dir, const QString &dev) {
    tree.write(dir + "/dev", dev.toLatin1() + "\n");
    tree.write(dir + "/partition", "1\n");
    link("sys/dev/block/" + dev, dir);
  }

  TempTree tree;
};

} // namespace

TEST_F(FakeMachine, DisksAreThePhysicalOnesWithUdevOrDeviceSerials) {
  LinuxStorageInfo storage(tree.root());
  const StorageInfo::DiskListing listing = storage.diskListing();
  EXPECT_FALSE(listing.isToolText);
  ASSERT_EQ(listing.disks.size(), 3);
  EXPECT_EQ(listing.disks[0].model, "Samsung SSD 870");
  EXPECT_EQ(listing.disks[0].serialNumber, "SCSI0"); // SCSI serial wins over the short one
  EXPECT_EQ(listing.disks[0].sizeBytes, 1000u * 512);
  EXPECT_EQ(listing.disks[1].model, "Flash Disk");
  EXPECT_EQ(listing.disks[1].serialNumber, "USB16");
  EXPECT_EQ(listing.disks[2].serialNumber, "CARD32");
  EXPECT_EQ(listing.disks[2].model, "");
}

TEST_F(FakeMachine, VolumesAreLocalBlockDevicesOtherThanTheRootOncePerDevice) {
  LinuxStorageInfo storage(tree.root());
  const QVector<StorageInfo::Volume> volumes = storage.localVolumes();
  ASSERT_EQ(volumes.size(), 3);
  EXPECT_EQ(volumes[0].mountPoint, "/home");
  EXPECT_FALSE(volumes[0].isRemovable);
  EXPECT_EQ(volumes[1].mountPoint, "/media/card");
  EXPECT_TRUE(volumes[1].isRemovable); // the disk's removable flag
  EXPECT_EQ(volumes[2].mountPoint, "/media/usb stick");
  EXPECT_TRUE(volumes[2].isRemovable); // on a USB bus though its flag is 0
}

TEST_F(FakeMachine, SystemDiskSerialMemorySwapAndBoard) {
  LinuxStorageInfo storage(tree.root());
  EXPECT_EQ(storage.systemDiskSerialNumber(), "SCSI0");
  EXPECT_EQ(storage.physicalMemoryBytes(), 16384u * 1024);
  EXPECT_EQ(storage.boardSerialNumber(), "BSN123");
  const QVector<StorageInfo::SwapArea> swaps = storage.swapAreas();
  ASSERT_EQ(swaps.size(), 2);
  EXPECT_EQ(swaps[0].name, "/swap file");
  EXPECT_EQ(swaps[0].sizeBytes, 1048572u * 1024);
  EXPECT_EQ(swaps[1].name, "/dev/sda3");
}

TEST(LinuxStorageInfo, MissingSourcesGiveEmptyAnswers) {
  TempTree empty;
  LinuxStorageInfo storage(empty.root());
  EXPECT_TRUE(storage.diskListing().disks.isEmpty());
  EXPECT_TRUE(storage.localVolumes().isEmpty());
  EXPECT_TRUE(storage.swapAreas().isEmpty());
  EXPECT_EQ(storage.systemDiskSerialNumber(), "");
  EXPECT_EQ(storage.boardSerialNumber(), "");
  EXPECT_EQ(storage.physicalMemoryBytes(), 0u);
}

TEST(LinuxStorageInfo, VolumeSpaceCountsAllFreeBlocks) {
  TempTree tree;
  LinuxStorageInfo storage;
  StorageInfo::VolumeSpace space;
  ASSERT_TRUE(storage.volumeSpace(tree.root(), space));
  struct statvfs info;
  ASSERT_EQ(statvfs(tree.root().toLocal8Bit().constData(), &info), 0);
  EXPECT_EQ(space.totalBytes, quint64(info.f_blocks) * info.f_frsize);
  EXPECT_GE(space.freeBytes, quint64(info.f_bavail) * info.f_frsize);
  EXPECT_FALSE(storage.volumeSpace(tree.path("missing"), space));
}

TEST(LinuxStorageInfo, ThisMachineListsNoVirtualDisks) {
  LinuxStorageInfo storage;
  for (const StorageInfo::Disk &disk : storage.diskListing().disks)
    EXPECT_GT(disk.sizeBytes, 0u);
  for (const StorageInfo::Volume &volume : storage.localVolumes())
    EXPECT_NE(volume.mountPoint, "/");
}
