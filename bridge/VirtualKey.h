#pragma once
// Key codes for page scripts: F1 to F12 and Escape, as read-only properties.
#include "bridge/Asset.h"

class VirtualKey : public Asset<VirtualKey> {
public:
  explicit VirtualKey(const ISciterAPI &api) : api(api) {}

  som_passport_t *passport();
  const ISciterAPI &engine() const { return api; }

private:
  friend class Asset<VirtualKey>;
  ~VirtualKey() = default;

  const ISciterAPI &api;
  const int F1 = 112, F2 = 113, F3 = 114, F4 = 115, F5 = 116, F6 = 117, F7 = 118, F8 = 119,
            F9 = 120, F10 = 121, F11 = 122, F12 = 123;
  const int ESC = 27;
};
