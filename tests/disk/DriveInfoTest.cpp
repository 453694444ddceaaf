#include "disk/DriveInfo.h"
#include "base/log/Log.h"
#include "base/log/LogSetup.h"
#include "disk/DiskRecord.h"

#include "DiskTestSupport.h"

#include <QDirIterator>
#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

// A storage source with fixed answers, for the result-building logic.
class FixedStorage : public StorageInfo {
public:
  DiskListing listing;
  quint64 memory = 0;
  bool spaceWorks = true;
  VolumeSpace space;
  QVector<Volume> volumes;

  DiskListing diskListing() override { return listing; }
  QString boardSerialNumber() override { return QString(); }
  QVector<SwapArea> swapAreas() override { return {}; }
  quint64 physicalMemoryBytes() override { return memory; }
  bool volumeSpace(const QString &, VolumeSpace &result) override {
    result = space;
    return spaceWorks;
  }
  QVector<Volume> localVolumes() override { return volumes; }
  QString systemDiskSerialNumber() override { return QStringLiteral("S1"); }
};

int countLogLines(const QString &text) {
  int count = 0;
  QDirIterator files(Log::defaultFolder(), QDir::Files);
  while (files.hasNext()) {
    QFile file(files.next());
    file.open(QIODevice::ReadOnly);
    count += file.readAll().count(text.toUtf8());
  }
  return count;
}

QJsonArray listOf(const QString &text) {
  return parseObject(text).value("list").toArray();
}

} // namespace

TEST(DiskColumnText, HeaderDiskLineAndBlankLineGiveOneRecord) {
  const QString text = "Model                         SerialNumber      Size          \r\r\n"
                       "Acme Fast Disk 512GB          S3EVNX0K          512105932800  \r\r\n"
                       "   \r\r\n";
  const QVector<DiskRecord> records = DiskRecord::parseColumnText(text);
  ASSERT_EQ(records.size(), 1);
  EXPECT_EQ(records[0].model, "Acme Fast Disk 512GB");
  EXPECT_EQ(records[0].serialNumber, "S3EVNX0K");
  EXPECT_EQ(records[0].size, 512105932800.0);
  EXPECT_EQ(records[0].appId, 10001);
}

TEST(DiskColumnText, EmptySerialShiftsTheSizeIntoTheSerialColumn) {
  const QVector<DiskRecord> records = DiskRecord::parseColumnText(
      "Model  SerialNumber  Size\r\nUSB Stick                               16008609792  \r\n");
  ASSERT_EQ(records.size(), 1);
  EXPECT_EQ(records[0].model, "USB Stick");
  EXPECT_EQ(records[0].serialNumber, "16008609792");
  EXPECT_EQ(records[0].size, 0.0);
}

TEST(DiskColumnText, HeaderOnlyNothingOrShortLinesGiveNoRecords) {
  EXPECT_TRUE(DiskRecord::parseColumnText("").isEmpty());
  EXPECT_TRUE(DiskRecord::parseColumnText("Model  SerialNumber  Size  \r\n\r\n").isEmpty());
  EXPECT_TRUE(DiskRecord::parseColumnText("just one column\nsingle  pair\n").isEmpty());
  // Either header column alone is enough to drop a line.
  EXPECT_TRUE(DiskRecord::parseColumnText("Model  X  1  \nY  SerialNumber  2  \n").isEmpty());
}

TEST(DiskColumnText, UnparsableSizeIsZeroAndOrderIsKept) {
  const QVector<DiskRecord> records = DiskRecord::parseColumnText("A  1  big  \nB  2  100  \n");
  ASSERT_EQ(records.size(), 2);
  EXPECT_EQ(records[0].model, "A");
  EXPECT_EQ(records[0].size, 0.0);
  EXPECT_EQ(records[1].model, "B");
  EXPECT_EQ(records[1].size, 100.0);
}

TEST(DriveInfo, DiskListFromToolTextOrRecords) {
  auto storage = std::make_shared<FixedStorage>();
  storage->listing.isToolText = true;
  storage->listing.toolText = "Model  SerialNumber  Size  \r\nDisk A  X1  1000  \r\n";
  DriveInfo drives(storage);
  const QString text = drives.getDiskList();
  EXPECT_EQ(text, QString("{\n    \"list\": [\n        {\n            \"appId\": 10001,\n"
                          "            \"diskModel\": \"Disk A\",\n"
                          "            \"diskSerialNumber\": \"X1\",\n"
                          "            \"diskSize\": 1000\n        }\n    ]\n}\n"));

  storage->listing = {};
  storage->listing.disks = {{"Virtual Disk", "", 536870912}};
  const QJsonObject disk = listOf(drives.getDiskList()).at(0).toObject();
  EXPECT_EQ(disk.value("diskModel").toString(), "Virtual Disk");
  EXPECT_EQ(disk.value("diskSerialNumber").toString(), "");
  EXPECT_EQ(disk.value("diskSize").toDouble(), 536870912.0);
  EXPECT_EQ(disk.value("appId").toInt(), 10001);

  storage->listing = {};
  EXPECT_EQ(drives.getDiskList(), "{\n    \"list\": [\n    ]\n}\n");
}

TEST(DriveInfo, NumbersPassThroughSinglePrecision) {
  auto storage = std::make_shared<FixedStorage>();
  DriveInfo drives(storage);
  storage->memory = quint64(1) << 33;
  EXPECT_EQ(drives.getMemeryBits(), 8589934592.0);
  storage->memory = (quint64(1) << 34) - 1;
  EXPECT_EQ(drives.getMemeryBits(), 17179869184.0);
  storage->space = {(quint64(1) << 40) + 12345, 16777217};
  EXPECT_EQ(drives.getSystemDriveTotalBits(), 1099511627776.0);
  EXPECT_EQ(drives.getSystemDriveFreeBits(), 16777216.0);
}

TEST(DriveInfo, FailingVolumeQueryGivesOneAndOneLogLine) {
  auto storage = std::make_shared<FixedStorage>();
  storage->spaceWorks = false;
  DriveInfo drives(storage);
  const QString line = "[              NativeUtil] ERROR: Call to GetDiskFreeSpaceEx() failed.";
  const int before = countLogLines(line);
  EXPECT_EQ(drives.getSystemDriveTotalBits(), 1.0);
  EXPECT_EQ(countLogLines(line), before + 1);
  EXPECT_EQ(drives.getSystemDriveFreeBits(), 1.0);
  EXPECT_EQ(countLogLines(line), before + 2);
}

TEST(DriveInfo, LogicalDrivesListEachVolumeWithItsSpace) {
  auto storage = std::make_shared<FixedStorage>();
  storage->space = {(quint64(1) << 34) - 1, 3000};
  storage->volumes = {{"/data", false}, {"/media/usb", true}};
  DriveInfo drives(storage);
  const QJsonArray list = listOf(drives.getLogicalDrives());
  ASSERT_EQ(list.size(), 2);
  const QJsonObject usb = list.at(1).toObject();
  EXPECT_EQ(usb.keys(), QStringList({"drive", "freeSpace", "isRemovable", "totalSpace"}));
  EXPECT_EQ(usb.value("drive").toString(), "/media/usb");
  EXPECT_TRUE(usb.value("isRemovable").toBool());
  EXPECT_EQ(usb.value("freeSpace").toDouble(), 3000.0);
  // Drive entries keep the full count; only the three script numbers are narrowed.
  EXPECT_EQ(usb.value("totalSpace").toDouble(), 17179869183.0);
  EXPECT_FALSE(list.at(0).toObject().value("isRemovable").toBool());
  EXPECT_TRUE(drives.isRemovableDrive("/media/usb"));
  EXPECT_FALSE(drives.isRemovableDrive("/data"));
  EXPECT_FALSE(drives.isRemovableDrive("/elsewhere"));

  storage->volumes.clear();
  EXPECT_TRUE(listOf(drives.getLogicalDrives()).isEmpty());
}

TEST(DriveInfo, RealMachineAnswersAreSane) {
  DriveInfo drives;
  EXPECT_GT(drives.getMemeryBits(), 1 << 20);
  EXPECT_GT(drives.getSystemDriveTotalBits(), 1.0);
  EXPECT_GE(drives.getSystemDriveTotalBits(), drives.getSystemDriveFreeBits());
  for (const QJsonValue &disk : listOf(drives.getDiskList())) {
    EXPECT_EQ(disk.toObject().value("appId").toInt(), 10001);
    EXPECT_GT(disk.toObject().value("diskSize").toDouble(), 0.0);
  }
}
