#pragma once
// The current user's registry: on Linux the store at
// GenericConfigLocation/Tidewell/registry.db (created on first use).
#include <memory>

#include "platform/registry/Registry.h"

QString userRegistryPath();
std::unique_ptr<Registry> createUserRegistry();
