#pragma once
// The default implementation of each operating-system facility.
#include <memory>

#include "platform/os/Connectivity.h"
#include "platform/os/IdentitySources.h"
#include "platform/os/ProcessApi.h"
#include "platform/os/ShellApi.h"
#include "platform/os/SystemApi.h"

namespace OsPlatform {
std::shared_ptr<ProcessApi> processes();
std::shared_ptr<SystemApi> systemInfo();
std::shared_ptr<ShellApi> shell();
std::shared_ptr<Connectivity> connectivity();
std::shared_ptr<IdentitySources> identitySources();
} // namespace OsPlatform
