#include "platform/os/linux/LinuxIdentitySources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <limits>
#include <map>

#include "platform/storage/LinuxStorageInfo.h"

namespace {

QString readTrimmed(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QString();
  return QString::fromLocal8Bit(file.read(4096)).trimmed();
}

// Permanently assigned, as opposed to random (1), stolen (2) or set (3).
constexpr char permanentAddress[] = "0";

} // namespace

LinuxIdentitySources::LinuxIdentitySources(QString root) : root_(std::move(root)) {}

QString LinuxIdentitySources::path(const QString &relative) const {
  return QDir::cleanPath(root_ + QLatin1Char('/') + relative);
}

QString LinuxIdentitySources::systemDiskSerial() const {
  return LinuxStorageInfo(root_).systemDiskSerialNumber();
}

QString LinuxIdentitySources::boardSerial() const {
  const QString file = path(QStringLiteral("/sys/class/dmi/id/board_serial"));
  if (!QFileInfo(file).permission(QFileDevice::ReadOther))
    return QString();
  return readTrimmed(file);
}

QString LinuxIdentitySources::adapterAddress() const {
  const QDir adapters(path(QStringLiteral("/sys/class/net")));
  std::map<std::pair<qint64, QString>, QString> byIndex;
  for (const QString &name : adapters.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
    const QString dir = adapters.filePath(name);
    const QFileInfo device(dir + QStringLiteral("/device"));
    if (!device.exists() && !device.isSymLink())
      continue;
    if (readTrimmed(dir + QStringLiteral("/addr_assign_type")) != QLatin1String(permanentAddress))
      continue;
    const QString address = readTrimmed(dir + QStringLiteral("/address")).toUpper();
    static const QRegularExpression hexPairs(QStringLiteral("^[0-9A-F]{2}(:[0-9A-F]{2})+$"));
    static const QRegularExpression allZero(QStringLiteral("^00(:00)+$"));
    if (!hexPairs.match(address).hasMatch() || allZero.match(address).hasMatch())
      continue;
    bool ok = false;
    const qint64 index = readTrimmed(dir + QStringLiteral("/ifindex")).toLongLong(&ok);
    byIndex.emplace(std::make_pair(ok ? index : std::numeric_limits<qint64>::max(), name), address);
  }
  return byIndex.empty() ? QString() : byIndex.begin()->second;
}
