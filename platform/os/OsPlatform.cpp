#include "platform/os/OsPlatform.h"

#include "platform/os/linux/LinuxConnectivity.h"
#include "platform/os/linux/LinuxIdentitySources.h"
#include "platform/os/linux/LinuxProcessApi.h"
#include "platform/os/linux/LinuxShellApi.h"
#include "platform/os/linux/LinuxSystemApi.h"

namespace OsPlatform {

std::shared_ptr<ProcessApi> processes() {
  return std::make_shared<LinuxProcessApi>();
}

std::shared_ptr<SystemApi> systemInfo() {
  return std::make_shared<LinuxSystemApi>();
}

std::shared_ptr<ShellApi> shell() {
  return std::make_shared<LinuxShellApi>();
}

std::shared_ptr<Connectivity> connectivity() {
  return std::make_shared<LinuxConnectivity>();
}

std::shared_ptr<IdentitySources> identitySources() {
  return std::make_shared<LinuxIdentitySources>();
}

} // namespace OsPlatform
