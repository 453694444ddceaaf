#include "platform/os/linux/RouteTable.h"

#include <QFile>
#include <QList>

namespace {
constexpr uint routeFlagUp = 0x1;
}

bool RouteTable::hasDefaultRoute(const QString &path) {
  QFile table(path);
  if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
    return false;
  table.readLine(); // the header
  while (!table.atEnd()) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    const QList<QByteArray> fields = table.readLine().simplified().split(' ');
    if (fields.size() < 8)
      continue;
    bool flagsOk = false, destinationOk = false, maskOk = false;
    const uint flags = fields[3].toUInt(&flagsOk, 16);
    const uint destination = fields[1].toUInt(&destinationOk, 16);
    const uint mask = fields[7].toUInt(&maskOk, 16);
    if (flagsOk && destinationOk && maskOk && (flags & routeFlagUp) && destination == 0 &&
        mask == 0)
      return true;
  }
  return false;
}
