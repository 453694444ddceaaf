#pragma once
// Reads a "SAr" resource archive out of an untrusted byte block. Every
// offset, size, node index and link is checked: a malformed archive gives
// "no item", never a read outside the block or an endless walk.
#include <cstddef>
#include <cstdint>
#include <string>

class ArchiveReader {
public:
  // The block is used in place and must outlive the reader.
  ArchiveReader(const uint8_t *data, size_t size);
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader &) = delete;
  ArchiveReader &operator=(const ArchiveReader &) = delete;

  // Whether the header and the tables it announces fit in the block. An
  // invalid archive has no items.
  bool isValid() const;

  // Finds an item by its stored name (e.g. "common/css/toast.css", UTF-8).
  // Raw items point into the block; compressed items are expanded once into
  // a buffer the reader keeps for its own lifetime. Thread-safe.
  bool item(const std::string &name, const uint8_t **data, uint32_t *size) const;

private:
  struct Impl;
  Impl *impl;
};
