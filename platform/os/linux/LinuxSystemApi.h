#pragma once
// System facts from uname and /proc.
#include "platform/os/SystemApi.h"

class LinuxSystemApi : public SystemApi {
public:
  // routeTable: the kernel's IPv4 routing table in /proc/net/route's format.
  explicit LinuxSystemApi(QString routeTable = QStringLiteral("/proc/net/route"));

  int processorArchitecture() const override;
  bool verifyVersion(int major, int minor, int servicePackMajor) const override;
  bool hasDefaultRoute() const override;
  QString commandLine() const override;
  QString programFile() const override;

private:
  QString routeTable_;
};
