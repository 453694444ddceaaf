#pragma once
// The resource archive compiled into the program as read-only data. Each
// archive library (tw_add_archive in cmake/Archive.cmake) defines
// embeddedArchive(); a program links exactly one of them.
#include <cstdint>

struct EmbeddedArchive {
  const uint8_t *data;
  uint32_t size;
};

// The bytes stay in place, unchanged, for the life of the process.
EmbeddedArchive embeddedArchive();
