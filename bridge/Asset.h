#pragma once
// The engine's object header with an atomic reference count. The engine sees
// only the header; every entry it calls recovers the object from it.
#include <atomic>
#include <cstring>

#include "tidewell/engine-api.h"

template <class T>
class Asset : public som_asset_t {
public:
  Asset() { isa = &classTable; }
  Asset(const Asset &) = delete;
  Asset &operator=(const Asset &) = delete;

  long addRef() { return ++references; }
  long release() {
    const long left = --references;
    if (left == 0)
      delete static_cast<T *>(this);
    return left;
  }

  // A null header gives a null object.
  static T *fromAsset(som_asset_t *thing) {
    return thing ? static_cast<T *>(static_cast<Asset *>(thing)) : nullptr;
  }

protected:
  ~Asset() = default;

private:
  static long addRefEntry(som_asset_t *thing) { return fromAsset(thing)->addRef(); }
  static long releaseEntry(som_asset_t *thing) { return fromAsset(thing)->release(); }
  static long interfaceEntry(som_asset_t *thing, const char *name, void **out) {
    if (!name || std::strcmp(name, SOM_ASSET_INTERFACE_NAME) != 0)
      return 0;
    if (out) {
      *out = thing;
      fromAsset(thing)->addRef();
    }
    return 1;
  }
  static som_passport_t *passportEntry(som_asset_t *thing) { return fromAsset(thing)->passport(); }

  inline static som_asset_class_t classTable = {&addRefEntry, &releaseEntry, &interfaceEntry,
                                                &passportEntry};
  std::atomic<long> references{0};
};
