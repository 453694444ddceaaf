#pragma once
// Open resource archives, by handle.
#include "engine/include/tidewell/engine-api.h"

#include <QString>

#include <mutex>
#include <set>

class ArchiveReader;

class Archives {
public:
  static Archives &instance();
  HSARCHIVE open(const uint8_t *data, UINT size);
  bool close(HSARCHIVE handle);
  // Looks the path up as given, then lower-cased and with ".js" added, so
  // module imports such as "/common/js/Constants" find "common/js/constants.js".
  bool item(HSARCHIVE handle, const QString &path, const uint8_t **data, UINT *size);

private:
  std::mutex lock;
  std::set<ArchiveReader *> readers;
};
