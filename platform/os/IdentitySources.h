#pragma once
// The hardware facts a machine is recognised by. Each is the same for every
// user and across reboots, or empty.
#include <QString>

class IdentitySources {
public:
  virtual ~IdentitySources() = default;
  // Serial number of the disk holding the system root.
  virtual QString systemDiskSerial() const = 0;
  // The main board's serial, only where every user can read it.
  virtual QString boardSerial() const = 0;
  // The permanent address of the first physical network adapter, as
  // upper-case hexadecimal pairs joined by ":".
  virtual QString adapterAddress() const = 0;
};
