#pragma once
// The native test object "TestNative": one method per argument and result
// kind, kept functions, worker-thread callbacks and global events.
#include "engine/include/tidewell/engine-api.h"

#include <atomic>
#include <string>
#include <vector>

class TestNative {
public:
  explicit TestNative(ISciterAPI *api);
  som_asset_t *asset() { return &header.asset; }
  std::vector<std::string> loadedUris; // filled by the host callback

private:
  static TestNative *self(som_asset_t *thing);
  static long addRef(som_asset_t *thing);
  static long release(som_asset_t *thing);
  static long getInterface(som_asset_t *thing, const char *name, void **out);
  static som_passport_t *passport(som_asset_t *thing);

  static BOOL32 echo(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 kindOf(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 make(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 fail(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 argumentKinds(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 keep(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 releaseKept(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 callKept(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 callFromThread(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 fireFromThread(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 touch(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 noop(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 loaded(som_asset_t *, UINT, const VALUE *, VALUE *);
  static BOOL32 version(som_asset_t *, VALUE *);
  static BOOL32 touches(som_asset_t *, VALUE *);

  struct Header {
    som_asset_t asset;
    TestNative *owner;
  } header;
  som_asset_class_t klass;
  som_passport_t pass;
  std::vector<som_method_def_t> methods;
  std::vector<som_property_def_t> properties;
  ISciterAPI *api;
  std::atomic<long> refs{0};
  std::vector<VALUE> kept;
  std::atomic<int> touchCount{0};
};
