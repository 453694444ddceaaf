// libFuzzer entry: the archive reader on arbitrary bytes. Every item found
// must be readable to its last byte (AddressSanitizer checks the reads).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/archive/ArchiveReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string names[] = {"", "a", "ab", "b", "ba", "a/b", "common/css/toast.css"};
  ArchiveReader reader(data, size);
  for (const std::string &name : names) {
    const uint8_t *item = nullptr;
    uint32_t itemSize = 0;
    if (!reader.item(name, &item, &itemSize))
      continue;
    unsigned sum = 0;
    for (uint32_t i = 0; i < itemSize; ++i)
      sum += item[i];
    // A second lookup must give the same bytes (the expanded copy is kept).
    const uint8_t *again = nullptr;
    uint32_t againSize = 0;
    if (!reader.item(name, &again, &againSize) || again != item || againSize != itemSize)
      std::abort();
    (void)sum;
  }
  return 0;
}
