#include "platform/os/linux/LinuxConnectivity.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

#include <optional>

#include "platform/os/linux/RouteTable.h"

namespace {

// NetworkManager's NMConnectivityState.
constexpr uint connectivityUnknown = 0;
constexpr uint connectivityFull = 4;
constexpr int busTimeoutMs = 2000;

// NetworkManager's view when it runs and knows; nothing otherwise.
std::optional<bool> networkManagerConnectivity(const QDBusConnection &bus) {
  const QString service = QStringLiteral("org.freedesktop.NetworkManager");
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(service))
    return std::nullopt;
  QDBusMessage get = QDBusMessage::createMethodCall(
      service, QStringLiteral("/org/freedesktop/NetworkManager"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << service << QStringLiteral("Connectivity");
  const QDBusMessage reply = bus.call(get, QDBus::Block, busTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  bool ok = false;
  const uint state = reply.arguments().first().value<QDBusVariant>().variant().toUInt(&ok);
  if (!ok || state == connectivityUnknown)
    return std::nullopt;
  return state == connectivityFull;
}

} // namespace

LinuxConnectivity::LinuxConnectivity(QDBusConnection bus, QString routeTable)
    : bus_(std::move(bus)), routeTable_(std::move(routeTable)) {}

bool LinuxConnectivity::isOnline() const {
  const std::optional<bool> managed = networkManagerConnectivity(bus_);
  return managed ? *managed : RouteTable::hasDefaultRoute(routeTable_);
}
