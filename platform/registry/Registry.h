#pragma once
// The registry facility: keys with case-insensitive names (case kept as
// first written), typed values, enumeration by index, recursive deletion and
// the 32-bit view. On Linux it is our own store (SqliteRegistry); a Windows
// backend implements the same over the system registry.
#include <QVector>
#include <optional>

#include "platform/registry/RegistryBatch.h"
#include "platform/registry/RegistryKey.h"
#include "platform/registry/RegistryValue.h"

struct RegistryNamedValue {
  QString name; // empty for the key's default value
  RegistryValue value;
};

class Registry {
public:
  virtual ~Registry() = default;

  virtual bool keyExists(const RegistryKey &key) = 0;
  virtual std::optional<RegistryValue> value(const RegistryKey &key, const QString &name) = 0;

  // Sub-keys in a stable order (by name, ignoring case) and values in the
  // order they were first written; empty when the key does not exist.
  virtual std::optional<QStringList> subKeyNames(const RegistryKey &key) = 0;
  virtual std::optional<QVector<RegistryNamedValue>> values(const RegistryKey &key) = 0;
  virtual std::optional<QString> subKeyName(const RegistryKey &key, int index) = 0;
  virtual std::optional<QString> valueName(const RegistryKey &key, int index) = 0;

  // Every change is one transaction; false leaves the registry unchanged.
  virtual bool apply(const RegistryBatch &batch) = 0;

  // What went wrong in the last failed call, for people.
  virtual QString lastError() const = 0;

  // Single changes, each its own transaction.
  bool createKey(const RegistryKey &key);
  bool setValue(const RegistryKey &key, const QString &name, const RegistryValue &value);
  bool deleteValue(const RegistryKey &key, const QString &name); // false if missing
  bool deleteKeyTree(const RegistryKey &key);                    // false if missing
};
