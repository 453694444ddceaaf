#pragma once
// Export in the .reg text format ("Windows Registry Editor Version 5.00"):
// the key, its values and every key beneath it, with CRLF line ends.
#include <optional>

#include "platform/registry/Registry.h"

extern const char regFileHeader[]; // "Windows Registry Editor Version 5.00"

// Empty when the key does not exist.
std::optional<QString> exportRegText(Registry &registry, const RegistryKey &key);

// One value line without its line end: "name"="text", "n"=dword:0000000a, "b"=hex:01,02 ...
QString regValueLine(const QString &name, const RegistryValue &value);
