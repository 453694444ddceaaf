#include "engine/src/GlobalAssets.h"

GlobalAssets &GlobalAssets::instance() {
  static GlobalAssets assets;
  return assets;
}

bool GlobalAssets::add(som_asset_t *asset) {
  if (!asset || !asset->isa || !asset->isa->asset_get_passport)
    return false;
  som_passport_t *passport = asset->isa->asset_get_passport(asset);
  if (!passport)
    return false;
  auto object = std::make_unique<NativeObject>(asset, passport);
  // A second object of the same class replaces the first.
  for (auto &existing : objects)
    if (existing->name() == object->name()) {
      existing = std::move(object);
      return true;
    }
  objects.push_back(std::move(object));
  return true;
}

QJsonArray GlobalAssets::describe() const {
  QJsonArray list;
  for (const auto &object : objects)
    list.append(object->describe());
  return list;
}

const NativeObject *GlobalAssets::at(int index) const {
  return index >= 0 && static_cast<size_t>(index) < objects.size() ? objects[index].get() : nullptr;
}

void GlobalAssets::clear() {
  objects.clear();
}
