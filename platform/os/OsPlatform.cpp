#include "platform/os/OsPlatform.h"

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

} // namespace OsPlatform
