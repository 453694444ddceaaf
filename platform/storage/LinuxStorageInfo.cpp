#include "platform/storage/LinuxStorageInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace {

constexpr int cdromMajor = 11;

QString readTrimmed(const QString &file) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly))
    return QString();
  return QString::fromLocal8Bit(f.readAll()).trimmed();
}

QString unescapeMountField(const QByteArray &field) {
  return QFile::decodeName(LinuxStorageInfo::unescapeMountBytes(field));
}

int majorOf(const QString &device) {
  return device.section(QLatin1Char(':'), 0, 0).toInt();
}

// Loop images and RAM disks are not volumes a user would call drives.
bool isVirtualVolume(const QString &sysfsPath) {
  const QString name = QFileInfo(sysfsPath).fileName();
  return name.startsWith(QLatin1String("loop")) || name.startsWith(QLatin1String("ram")) ||
         name.startsWith(QLatin1String("zram"));
}

} // namespace

QByteArray LinuxStorageInfo::unescapeMountBytes(const QByteArray &field) {
  QByteArray out;
  out.reserve(field.size());
  for (int i = 0; i < field.size(); ++i) {
    bool octal = false;
    const int code = field[i] == '\\' ? field.mid(i + 1, 3).toInt(&octal, 8) : 0;
    if (octal && i + 3 < field.size()) {
      out.append(char(code));
      i += 3;
    } else {
      out.append(field[i]);
    }
  }
  return out;
}

std::unique_ptr<StorageInfo> createStorageInfo() {
  return std::make_unique<LinuxStorageInfo>();
}

LinuxStorageInfo::LinuxStorageInfo(const QString &root) : root_(root) {
  while (root_.endsWith(QLatin1Char('/')))
    root_.chop(1);
}

QString LinuxStorageInfo::path(const QString &relative) const {
  return root_ + relative;
}

StorageInfo::DiskListing LinuxStorageInfo::diskListing() {
  DiskListing listing;
  const QDir block(path(QStringLiteral("/sys/block")));
  for (const QString &name : block.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString dir = QFileInfo(block.filePath(name)).canonicalFilePath();
    if (dir.isEmpty() || dir.contains(QLatin1String("/devices/virtual/")))
      continue;
    if (majorOf(readTrimmed(dir + QStringLiteral("/dev"))) == cdromMajor)
      continue;
    Disk disk;
    disk.model = readTrimmed(dir + QStringLiteral("/device/model"));
    disk.serialNumber = diskSerial(dir);
    disk.sizeBytes = readTrimmed(dir + QStringLiteral("/size")).toULongLong() * 512;
    listing.disks.append(disk);
  }
  return listing;
}

QString LinuxStorageInfo::boardSerialNumber() {
  return readTrimmed(path(QStringLiteral("/sys/class/dmi/id/board_serial")));
}

QVector<StorageInfo::SwapArea> LinuxStorageInfo::swapAreas() {
  QVector<SwapArea> areas;
  QFile f(path(QStringLiteral("/proc/swaps")));
  if (!f.open(QIODevice::ReadOnly))
    return areas;
  const QList<QByteArray> lines = f.readAll().split('\n');
  for (int i = 1; i < lines.size(); ++i) { // line 0 is the header
    const QList<QByteArray> fields = lines[i].simplified().split(' ');
    if (fields.size() < 3)
      continue;
    areas.append({unescapeMountField(fields[0]), fields[2].toULongLong() * 1024,
                  QString::fromLatin1(fields[1])});
  }
  return areas;
}

quint64 LinuxStorageInfo::physicalMemoryBytes() {
  QFile f(path(QStringLiteral("/proc/meminfo")));
  if (!f.open(QIODevice::ReadOnly))
    return 0;
  for (const QByteArray &line : f.readAll().split('\n')) {
    if (line.startsWith("MemTotal:"))
      return line.mid(9).simplified().split(' ').value(0).toULongLong() * 1024;
  }
  return 0;
}

bool LinuxStorageInfo::volumeSpace(const QString &volumePath, VolumeSpace &space) {
  struct statvfs info;
  if (statvfs(QFile::encodeName(volumePath).constData(), &info) != 0)
    return false;
  space.totalBytes = quint64(info.f_blocks) * info.f_frsize;
  space.freeBytes = quint64(info.f_bfree) * info.f_frsize;
  return true;
}

QVector<LinuxStorageInfo::Mount> LinuxStorageInfo::mounts() const {
  QVector<Mount> all;
  QFile f(path(QStringLiteral("/proc/self/mountinfo")));
  if (!f.open(QIODevice::ReadOnly))
    return all;
  for (const QByteArray &line : f.readAll().split('\n')) {
    // id parent major:minor root mount-point options [optional...] - type source options
    const QList<QByteArray> fields = line.split(' ');
    const int separator = fields.indexOf("-");
    if (fields.size() < 5 || separator < 5 || separator + 2 >= fields.size())
      continue;
    Mount mount{QString::fromLatin1(fields[2]), unescapeMountField(fields[3]),
                unescapeMountField(fields[4]), QString::fromLatin1(fields[separator + 1])};
    // File systems such as btrfs report an anonymous device; the source names the real one.
    const QString source = unescapeMountField(fields[separator + 2]);
    struct stat info;
    if (majorOf(mount.device) == 0 && source.startsWith(QLatin1String("/dev/")) &&
        stat(QFile::encodeName(source).constData(), &info) == 0 && S_ISBLK(info.st_mode))
      mount.device = QStringLiteral("%1:%2").arg(major(info.st_rdev)).arg(minor(info.st_rdev));
    all.append(mount);
  }
  return all;
}

QString LinuxStorageInfo::rootDevice(const QVector<Mount> &all) const {
  // The last mount on "/" is the one in view.
  for (int i = all.size() - 1; i >= 0; --i) {
    if (all[i].mountPoint == QLatin1String("/"))
      return all[i].device;
  }
  return QString();
}

QString LinuxStorageInfo::sysfsDevice(const QString &device) const {
  return QFileInfo(path(QStringLiteral("/sys/dev/block/") + device)).canonicalFilePath();
}

// The physical disks a block device lives on: the disk of a partition, or the
// disks under a device-mapper or RAID device.
QStringList LinuxStorageInfo::physicalDisks(const QString &device) const {
  QStringList disks;
  QStringList pending{sysfsDevice(device)};
  QSet<QString> visited;
  while (!pending.isEmpty()) {
    QString dir = pending.takeFirst();
    if (dir.isEmpty() || visited.contains(dir))
      continue;
    visited.insert(dir);
    if (QFileInfo::exists(dir + QStringLiteral("/partition")))
      dir = QFileInfo(dir).path();
    const QDir slaves(dir + QStringLiteral("/slaves"));
    const QStringList names = slaves.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    if (names.isEmpty()) {
      if (!disks.contains(dir))
        disks.append(dir);
      continue;
    }
    for (const QString &name : names)
      pending.append(QFileInfo(slaves.filePath(name)).canonicalFilePath());
  }
  return disks;
}

bool LinuxStorageInfo::isRemovable(const QString &device) const {
  for (const QString &disk : physicalDisks(device)) {
    if (readTrimmed(disk + QStringLiteral("/removable")) == QLatin1String("1") ||
        disk.contains(QLatin1String("/usb")))
      return true;
  }
  return false;
}

QVector<StorageInfo::Volume> LinuxStorageInfo::localVolumes() {
  QVector<Mount> all = mounts();
  const QString systemDevice = rootDevice(all);
  // Whole-file-system mounts first, so a bind mount of a subfolder never names a device.
  std::stable_sort(all.begin(), all.end(), [](const Mount &a, const Mount &b) {
    const bool aWhole = a.root == QLatin1String("/"), bWhole = b.root == QLatin1String("/");
    if (aWhole != bWhole)
      return aWhole;
    return a.mountPoint < b.mountPoint;
  });
  QSet<QString> devices;
  QVector<Volume> volumes;
  for (const Mount &mount : all) {
    if (mount.mountPoint == QLatin1String("/") || mount.device == systemDevice ||
        majorOf(mount.device) == cdromMajor || mount.fileSystem == QLatin1String("iso9660") ||
        devices.contains(mount.device))
      continue;
    const QString sysfs = sysfsDevice(mount.device);
    if (sysfs.isEmpty() || isVirtualVolume(sysfs))
      continue; // not a block device: network, RAM and pseudo file systems
    devices.insert(mount.device);
    volumes.append({mount.mountPoint, isRemovable(mount.device)});
  }
  std::sort(volumes.begin(), volumes.end(),
            [](const Volume &a, const Volume &b) { return a.mountPoint < b.mountPoint; });
  return volumes;
}

QString LinuxStorageInfo::systemDiskSerialNumber() {
  const QString device = rootDevice(mounts());
  if (device.isEmpty())
    return QString();
  const QStringList disks = physicalDisks(device);
  return disks.isEmpty() ? QString() : diskSerial(disks.first());
}

QString LinuxStorageInfo::diskSerial(const QString &diskDir) const {
  QFile udev(
      path(QStringLiteral("/run/udev/data/b") + readTrimmed(diskDir + QStringLiteral("/dev"))));
  if (udev.open(QIODevice::ReadOnly)) {
    QString scsi, shortSerial;
    for (const QByteArray &line : udev.readAll().split('\n')) {
      if (line.startsWith("E:ID_SCSI_SERIAL="))
        scsi = QString::fromLocal8Bit(line.mid(17)).trimmed();
      else if (line.startsWith("E:ID_SERIAL_SHORT="))
        shortSerial = QString::fromLocal8Bit(line.mid(18)).trimmed();
    }
    if (!scsi.isEmpty())
      return scsi;
    if (!shortSerial.isEmpty())
      return shortSerial;
  }
  const QString serial = readTrimmed(diskDir + QStringLiteral("/device/serial"));
  return serial.isEmpty() ? readTrimmed(diskDir + QStringLiteral("/serial")) : serial;
}
