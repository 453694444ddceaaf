#pragma once
// The kernel's IPv4 routing table in /proc/net/route's format.
#include <QString>

namespace RouteTable {

// An up route with destination and mask 0.0.0.0; false when unreadable.
bool hasDefaultRoute(const QString &path);

} // namespace RouteTable
