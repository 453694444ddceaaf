#pragma once
// The registry store: one SQLite database in WAL mode, shared by every
// process of the user. Each call is one transaction; a process killed in the
// middle of a write leaves the database as it was before that write.
// Opened (and created) on first use; usable from several threads.
#include <functional>
#include <memory>
#include <mutex>

#include "platform/registry/Registry.h"

class SqliteRegistry final : public Registry {
public:
  explicit SqliteRegistry(QString databasePath);
  ~SqliteRegistry() override;

  const QString &databasePath() const { return databasePath_; }

  bool keyExists(const RegistryKey &key) override;
  std::optional<RegistryValue> value(const RegistryKey &key, const QString &name) override;
  std::optional<QStringList> subKeyNames(const RegistryKey &key) override;
  std::optional<QVector<RegistryNamedValue>> values(const RegistryKey &key) override;
  std::optional<QString> subKeyName(const RegistryKey &key, int index) override;
  std::optional<QString> valueName(const RegistryKey &key, int index) override;
  bool apply(const RegistryBatch &batch) override;
  QString lastError() const override;

private:
  class Connection;
  enum class Mode { Read, Write };
  bool transaction(Mode mode, const std::function<void(Connection &)> &work);

  const QString databasePath_;
  mutable std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
  QString lastError_;
};
