#pragma once
// Native objects registered with SciterSetGlobalAsset: globals of every
// program document, named by their class.
#include "engine/src/NativeObject.h"

#include <memory>
#include <vector>

class GlobalAssets {
public:
  static GlobalAssets &instance();
  bool add(som_asset_t *asset);
  QJsonArray describe() const;
  const NativeObject *at(int index) const;
  void clear();

private:
  std::vector<std::unique_ptr<NativeObject>> objects;
};
