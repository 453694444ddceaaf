#include "platform/registry/Registry.h"

bool Registry::createKey(const RegistryKey &key) {
  RegistryBatch batch;
  batch.createKey(key);
  return apply(batch);
}

bool Registry::setValue(const RegistryKey &key, const QString &name, const RegistryValue &value) {
  RegistryBatch batch;
  batch.setValue(key, name, value);
  return apply(batch);
}

bool Registry::deleteValue(const RegistryKey &key, const QString &name) {
  RegistryBatch batch;
  batch.deleteValue(key, name, true);
  return apply(batch);
}

bool Registry::deleteKeyTree(const RegistryKey &key) {
  RegistryBatch batch;
  batch.deleteKeyTree(key, true);
  return apply(batch);
}
