#pragma once
// NetworkManager's connectivity verdict over D-Bus where it runs and knows;
// otherwise a default route in the IPv4 routing table. Never Qt's online
// state, which counts any LAN as the internet.
#include <QDBusConnection>

#include "platform/os/Connectivity.h"

class LinuxConnectivity : public Connectivity {
public:
  // bus: where NetworkManager is looked for; routeTable: the kernel's IPv4
  // routing table in /proc/net/route's format.
  explicit LinuxConnectivity(QDBusConnection bus = QDBusConnection::systemBus(),
                             QString routeTable = QStringLiteral("/proc/net/route"));

  bool isOnline() const override;

private:
  QDBusConnection bus_;
  QString routeTable_;
};
