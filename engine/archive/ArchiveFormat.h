#pragma once
// Layout constants of the "SAr" resource archive, shared by its reader and
// writer. All integers are little-endian.
#include <cstdint>

namespace ArchiveFormat {

constexpr uint8_t magic[4] = {'S', 'A', 'r', 0};
constexpr uint32_t headerSize = 8; // magic, node count
constexpr uint32_t nodeSize = 8;   // character, low, equal, high
constexpr uint32_t itemCountSize = 4;
constexpr uint32_t itemRecordSize = 12; // offset, stored size, raw size

// Links are signed 16-bit: node indexes 0..32767, item numbers 1..32767.
constexpr uint32_t maxNodes = 32768;
constexpr uint32_t maxItems = 32767;

// One LZF back reference of 3 bytes expands to at most 264 bytes, so no
// valid LZF block expands by more than this factor.
constexpr uint64_t maxExpansion = 88;

// What one compressed item may expand to. The writer stores larger items
// uncompressed, so a reader never allocates more than this for one item,
// whatever a damaged or hostile archive claims.
constexpr uint32_t maxExpandedSize = 64u << 20;

} // namespace ArchiveFormat
