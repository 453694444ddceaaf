#pragma once
// Which entries below a folder a cleaner looks into and may delete, for the
// walks that measure, list and empty it.
#include "platform/storage/FileWalker.h"

class EntryRules {
public:
  virtual ~EntryRules() = default;
  // A folder the cleaner looks into.
  virtual bool mayEnter(const WalkEntry &entry) const = 0;
  // A file, or a folder once empty, the cleaner may delete.
  virtual bool mayDelete(const WalkEntry &entry) const = 0;
};
