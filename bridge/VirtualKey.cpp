#include "bridge/VirtualKey.h"

#include <array>

#include "bridge/MethodTable.h"

som_passport_t *VirtualKey::passport() {
  using MethodTable::property;
  static const std::array<som_property_def_t, 13> properties = {
      property<&VirtualKey::F1>(api, "F1"),   property<&VirtualKey::F2>(api, "F2"),
      property<&VirtualKey::F3>(api, "F3"),   property<&VirtualKey::F4>(api, "F4"),
      property<&VirtualKey::F5>(api, "F5"),   property<&VirtualKey::F6>(api, "F6"),
      property<&VirtualKey::F7>(api, "F7"),   property<&VirtualKey::F8>(api, "F8"),
      property<&VirtualKey::F9>(api, "F9"),   property<&VirtualKey::F10>(api, "F10"),
      property<&VirtualKey::F11>(api, "F11"), property<&VirtualKey::F12>(api, "F12"),
      property<&VirtualKey::ESC>(api, "ESC"),
  };
  static som_passport_t passport;
  passport.flags = SOM_SEALED_OBJECT;
  passport.name = api.SciterAtomValue("VirtualKey");
  passport.properties = properties.data();
  passport.n_properties = properties.size();
  passport.methods = nullptr;
  passport.n_methods = 0;
  return &passport;
}
