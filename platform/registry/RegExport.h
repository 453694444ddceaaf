#pragma once
// Export in the .reg text format ("Windows Registry Editor Version 5.00"):
// the key, its values and every key beneath it, with CRLF line ends.
#include <optional>

#include "platform/registry/Registry.h"

extern const char regFileHeader[]; // "Windows Registry Editor Version 5.00"

// Empty when the key does not exist, or when a key or value name in the tree
// is one the format cannot hold (a line break, a lone surrogate); then
// *refused, if given, names it.
std::optional<QString> exportRegText(Registry &registry, const RegistryKey &key,
                                     QString *refused = nullptr);

// One value line without its line end: "name"="text", "n"=dword:0000000a, "b"=hex:01,02 ...
QString regValueLine(const QString &name, const RegistryValue &value);
