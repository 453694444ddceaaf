#pragma once
// A list of changes that a Registry applies as one transaction: all of
// them or none.
#include <QVector>

#include "platform/registry/RegistryKey.h"
#include "platform/registry/RegistryValue.h"

class RegistryBatch {
public:
  enum class Operation { CreateKey, DeleteKeyTree, SetValue, DeleteValue };
  struct Change {
    Operation operation;
    RegistryKey key;
    QString name;
    RegistryValue value;
    bool mustExist; // a deletion whose target is missing fails the batch
  };

  // Creates the key and every missing parent.
  void createKey(const RegistryKey &key) { add({Operation::CreateKey, key, {}, {}, false}); }
  // Deletes the key with all its sub-keys and values.
  void deleteKeyTree(const RegistryKey &key, bool mustExist = false) {
    add({Operation::DeleteKeyTree, key, {}, {}, mustExist});
  }
  // Creates the key if needed; an existing value keeps its name and place.
  void setValue(const RegistryKey &key, const QString &name, const RegistryValue &value) {
    add({Operation::SetValue, key, name, value, false});
  }
  void deleteValue(const RegistryKey &key, const QString &name, bool mustExist = false) {
    add({Operation::DeleteValue, key, name, {}, mustExist});
  }

  const QVector<Change> &changes() const { return changes_; }
  bool isEmpty() const { return changes_.isEmpty(); }

private:
  void add(Change change) { changes_.append(std::move(change)); }
  QVector<Change> changes_;
};
