// An engine library that reports version 6.0.4.6, for the binding's
// version check. Nothing but the version is ever asked of it.
#include "tidewell/engine-api.h"

namespace {

UINT version(UINT part) {
  const UINT parts[4] = {6, 0, 4, 6};
  return part < 4 ? parts[part] : 0;
}

} // namespace

extern "C" TW_ENGINE_EXPORT ISciterAPI *SciterAPI() {
  static ISciterAPI table = [] {
    ISciterAPI t{};
    t.version = 6;
    t.SciterVersion = version;
    return t;
  }();
  return &table;
}
