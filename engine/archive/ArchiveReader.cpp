#include "engine/archive/ArchiveReader.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include <lzf.h>

#include "engine/archive/ArchiveFormat.h"

namespace {

uint16_t read16(const uint8_t *p) {
  return uint16_t(p[0] | p[1] << 8);
}

uint32_t read32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The index compares 16-bit character codes, so names are looked up as
// UTF-16. Malformed UTF-8 and embedded zeros match nothing.
bool toUtf16(const std::string &name, std::vector<uint16_t> *units) {
  const auto *s = reinterpret_cast<const unsigned char *>(name.data());
  const size_t n = name.size();
  for (size_t i = 0; i < n;) {
    uint32_t c = s[i];
    const size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    if ((c >= 0x80 && (c & 0xC0) == 0x80) || c >= 0xF8 || extra >= n - i)
      return false;
    if (extra > 0)
      c &= 0x3Fu >> extra;
    for (size_t k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80)
        return false;
      c = c << 6 | (s[i + k] & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (c == 0 || c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
      return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      units->push_back(uint16_t(0xD800 | c >> 10));
      units->push_back(uint16_t(0xDC00 | (c & 0x3FF)));
    } else {
      units->push_back(uint16_t(c));
    }
    i += extra + 1;
  }
  return true;
}

} // namespace

struct ArchiveReader::Impl {
  const uint8_t *data;
  uint64_t size;
  bool valid = false;
  uint32_t nodeCount = 0;
  uint32_t itemCount = 0;
  uint64_t itemsOffset = 0;
  uint64_t dataOffset = 0;

  mutable std::mutex mutex;
  struct Expanded {
    std::unique_ptr<uint8_t[]> bytes; // not zero-filled: decompression writes every byte
    uint32_t size;
  };
  mutable std::map<uint32_t, Expanded> expanded; // by item number

  Impl(const uint8_t *d, size_t s) : data(d), size(s) {
    using namespace ArchiveFormat;
    if (!data || size < headerSize || std::memcmp(data, magic, sizeof magic) != 0)
      return;
    nodeCount = read32(data + 4);
    const uint64_t countOffset = headerSize + uint64_t(nodeSize) * nodeCount;
    if (countOffset + itemCountSize > size)
      return;
    itemCount = read32(data + countOffset);
    itemsOffset = countOffset + itemCountSize;
    dataOffset = itemsOffset + uint64_t(itemRecordSize) * itemCount;
    valid = dataOffset <= size;
  }

  // The 1-based item number the index gives for the name, or 0.
  uint32_t find(const std::vector<uint16_t> &key) const {
    int64_t node = 0;
    size_t pos = 0;
    // A search path in a tree never visits a node twice; more steps than
    // nodes means the links form a cycle.
    for (uint32_t steps = 0; steps < nodeCount; ++steps) {
      if (node < 0 || node >= nodeCount)
        return 0;
      const uint8_t *n =
          data + ArchiveFormat::headerSize + uint64_t(node) * ArchiveFormat::nodeSize;
      const uint16_t character = read16(n);
      const uint16_t c = key[pos];
      if (c < character) {
        node = int16_t(read16(n + 2));
      } else if (c > character) {
        node = int16_t(read16(n + 6));
      } else if (c == 0) {
        const int16_t item = int16_t(read16(n + 4));
        return item >= 1 && uint32_t(item) <= itemCount ? uint32_t(item) : 0;
      } else {
        ++pos;
        node = int16_t(read16(n + 4));
      }
    }
    return 0;
  }

  bool item(uint32_t number, const uint8_t **out, uint32_t *outSize) const {
    const uint8_t *record =
        data + itemsOffset + uint64_t(number - 1) * ArchiveFormat::itemRecordSize;
    const uint32_t offset = read32(record);
    const uint32_t stored = read32(record + 4);
    const uint32_t raw = read32(record + 8);
    if (offset < dataOffset || uint64_t(offset) + stored > size)
      return false;
    if (raw == 0) {
      *out = data + offset;
      *outSize = stored;
      return true;
    }
    // Sizes are checked against the block and the fixed cap before anything
    // is allocated.
    if (raw > ArchiveFormat::maxExpandedSize || raw > stored * ArchiveFormat::maxExpansion)
      return false;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = expanded.find(number);
    if (found == expanded.end()) {
      std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[raw]);
      if (!buffer || lzf_decompress(data + offset, stored, buffer.get(), raw) != raw)
        return false;
      found = expanded.emplace(number, Expanded{std::move(buffer), raw}).first;
    }
    *out = found->second.bytes.get();
    *outSize = raw;
    return true;
  }
};

ArchiveReader::ArchiveReader(const uint8_t *data, size_t size) : impl(new Impl(data, size)) {}

ArchiveReader::~ArchiveReader() {
  delete impl;
}

bool ArchiveReader::isValid() const {
  return impl->valid;
}

bool ArchiveReader::item(const std::string &name, const uint8_t **data, uint32_t *size) const {
  if (!impl->valid || !data || !size)
    return false;
  std::vector<uint16_t> key;
  if (!toUtf16(name, &key))
    return false;
  key.push_back(0);
  const uint32_t number = impl->find(key);
  return number != 0 && impl->item(number, data, size);
}
