#pragma once
// The system-information facility: machine, version, routing and the
// running program's own command line and file.
#include <QString>

class SystemApi {
public:
  // Processor architecture codes as the Windows system information names them.
  enum Architecture { Intel = 0, Arm = 5, Ia64 = 6, Amd64 = 9, Arm64 = 12, Unknown = 0xffff };

  virtual ~SystemApi() = default;
  virtual int processorArchitecture() const = 0;
  // Whether the system is exactly that Windows version, with at least that
  // service pack; false on every other system.
  virtual bool verifyVersion(int major, int minor, int servicePackMajor) const = 0;
  // The IPv4 routing table has a default route.
  virtual bool hasDefaultRoute() const = 0;
  // The command line the process was started with.
  virtual QString commandLine() const = 0;
  // Full path of the running program's file; empty when unknown.
  virtual QString programFile() const = 0;
};
