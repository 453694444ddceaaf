#pragma once
// A native object of the test programs that lives as long as the process:
// its references are not counted and it answers no interface query.
#include "engine/include/tidewell/engine-api.h"

struct StaticAsset {
  som_asset_t asset{&klass};
  som_passport_t passport{};

  static long noRef(som_asset_t *) { return 1; }
  static long noInterface(som_asset_t *, const char *, void **) { return 0; }
  static som_passport_t *passportOf(som_asset_t *thing) {
    return &reinterpret_cast<StaticAsset *>(thing)->passport;
  }
  static inline som_asset_class_t klass = {noRef, noRef, noInterface, passportOf};
};
