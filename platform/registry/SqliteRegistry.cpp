#include "platform/registry/SqliteRegistry.h"

#include <QHash>

#include <sqlite3.h>

#include "platform/registry/SqliteDatabase.h"

namespace {

constexpr int maxKeyNameLength = 255;
constexpr int maxValueNameLength = 16383;
constexpr int maxCachedKeys = 10000;

const char *const schema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS vals(
  id INTEGER PRIMARY KEY,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
CREATE INDEX IF NOT EXISTS vals_in_order ON vals(key);
INSERT OR IGNORE INTO keys(id, parent, name, folded) VALUES
  (1, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine'),
  (2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),
  (3, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
  (4, 0, 'HKEY_USERS', 'hkey_users'),
  (5, 0, 'HKEY_CURRENT_CONFIG', 'hkey_current_config');
)sql";

qint64 rootId(RegistryRoot root) {
  return qint64(root) + 1;
}

const QString &notFoundMessage() {
  static const QString message =
      QStringLiteral("The system was unable to find the specified registry key or value.");
  return message;
}

// The names as stored: the 32-bit view sees HKLM\Software\WOW6432Node as HKLM\Software.
QStringList storedNames(const RegistryKey &key) {
  QStringList names = key.names();
  static const QString software = QStringLiteral("software");
  static const QString wow = QStringLiteral("WOW6432Node");
  if (key.view() == RegistryView::View32 && key.root() == RegistryRoot::LocalMachine &&
      !names.isEmpty() && registryFoldedName(names.first()) == software &&
      (names.size() == 1 || registryFoldedName(names.at(1)) != registryFoldedName(wow)))
    names.insert(1, wow);
  return names;
}

} // namespace

class SqliteRegistry::Connection {
public:
  explicit Connection(const QString &path) : db_(openPrivateDatabase(path, schema)) {
    try {
      prepare();
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }

  ~Connection() {
    statements_.reset();
    sqlite3_close(db_);
  }

  void begin(Mode mode) {
    (mode == Mode::Write ? statements_->beginWrite : statements_->beginRead).use().next();
    // Key ids stay valid until another connection commits a change.
    auto version = statements_->dataVersion.use();
    version.next();
    if (version.integer(0) != dataVersion_ || cache_.size() > maxCachedKeys)
      cache_.clear();
    dataVersion_ = version.integer(0);
  }
  void commit() { statements_->commit.use().next(); }
  void rollback() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    cache_.clear();
  }

  std::optional<qint64> findKey(const RegistryKey &key) { return resolve(key, false); }
  qint64 createKey(const RegistryKey &key) { return *resolve(key, true); }

  std::optional<RegistryValue> value(qint64 key, const QString &name) {
    auto use = statements_->value.use();
    use.bind(key).bind(registryFoldedName(name));
    if (!use.next())
      return std::nullopt;
    return RegistryValue(RegistryType(quint32(use.integer(0))), use.blob(1));
  }

  void setValue(qint64 key, const QString &name, const RegistryValue &value) {
    if (name.size() > maxValueNameLength)
      throw SqliteError{QStringLiteral("value name too long")};
    auto use = statements_->setValue.use();
    use.bind(key).bind(name).bind(registryFoldedName(name)).bind(qint64(value.type()));
    use.bind(value.data()).next();
  }

  bool deleteValue(qint64 key, const QString &name) {
    auto use = statements_->deleteValue.use();
    use.bind(key).bind(registryFoldedName(name)).next();
    return sqlite3_changes(db_) > 0;
  }

  void deleteTree(qint64 key) {
    if (key <= rootId(RegistryRoot::CurrentConfig))
      throw SqliteError{QStringLiteral("a root key cannot be deleted")};
    statements_->deleteTreeValues.use().bind(key).next();
    statements_->deleteTreeKeys.use().bind(key).next();
    cache_.clear();
  }

  QStringList subKeyNames(qint64 key) {
    QStringList names;
    auto use = statements_->subKeys.use();
    use.bind(key);
    while (use.next())
      names.append(use.text(0));
    return names;
  }

  QVector<RegistryNamedValue> values(qint64 key) {
    QVector<RegistryNamedValue> result;
    auto use = statements_->values.use();
    use.bind(key);
    while (use.next())
      result.append(
          {use.text(0), RegistryValue(RegistryType(quint32(use.integer(1))), use.blob(2))});
    return result;
  }

  std::optional<QString> nameAt(bool subKey, qint64 key, int index) {
    auto use = (subKey ? statements_->subKeyAt : statements_->valueAt).use();
    use.bind(key).bind(qint64(index));
    if (!use.next())
      return std::nullopt;
    return use.text(0);
  }

private:
  struct Statements {
    explicit Statements(sqlite3 *db)
        : beginRead(db, "BEGIN"), beginWrite(db, "BEGIN IMMEDIATE"), commit(db, "COMMIT"),
          dataVersion(db, "PRAGMA data_version"),
          child(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2"),
          insertKey(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)"),
          value(db, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2"),
          setValue(db, "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                       " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type,"
                       " data = excluded.data"),
          deleteValue(db, "DELETE FROM vals WHERE key = ?1 AND folded = ?2"),
          deleteTreeValues(db, "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id"
                               " FROM keys JOIN tree ON keys.parent = tree.id)"
                               " DELETE FROM vals WHERE key IN tree"),
          deleteTreeKeys(db, "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id"
                             " FROM keys JOIN tree ON keys.parent = tree.id)"
                             " DELETE FROM keys WHERE id IN tree"),
          subKeys(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded"),
          values(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id"),
          subKeyAt(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY folded LIMIT 1 OFFSET ?2"),
          valueAt(db, "SELECT name FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2") {}
    SqliteStatement beginRead, beginWrite, commit, dataVersion, child, insertKey, value, setValue,
        deleteValue, deleteTreeValues, deleteTreeKeys, subKeys, values, subKeyAt, valueAt;
  };

  void prepare() { statements_ = std::make_unique<Statements>(db_); }

  // Walks the path from the root, remembering the key ids on the way.
  std::optional<qint64> resolve(const RegistryKey &key, bool create) {
    qint64 id = rootId(key.root());
    QString folded = QString::number(id);
    for (const QString &name : storedNames(key)) {
      folded += QLatin1Char('\\') + registryFoldedName(name);
      const auto cached = cache_.constFind(folded);
      if (cached != cache_.constEnd()) {
        id = *cached;
        continue;
      }
      auto find = statements_->child.use();
      find.bind(id).bind(registryFoldedName(name));
      if (find.next()) {
        id = find.integer(0);
      } else if (create) {
        if (name.size() > maxKeyNameLength)
          throw SqliteError{QStringLiteral("key name too long: %1").arg(name)};
        statements_->insertKey.use().bind(id).bind(name).bind(registryFoldedName(name)).next();
        id = sqlite3_last_insert_rowid(db_);
      } else {
        return std::nullopt;
      }
      cache_.insert(folded, id);
    }
    return id;
  }

  sqlite3 *db_ = nullptr;
  std::unique_ptr<Statements> statements_;
  QHash<QString, qint64> cache_;
  qint64 dataVersion_ = -1;
};

SqliteRegistry::SqliteRegistry(QString databasePath) : databasePath_(std::move(databasePath)) {}

SqliteRegistry::~SqliteRegistry() = default;

bool SqliteRegistry::transaction(Mode mode, const std::function<void(Connection &)> &work) {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    if (!connection_)
      connection_ = std::make_unique<Connection>(databasePath_);
  } catch (const SqliteError &error) {
    lastError_ = error.message;
    return false;
  }
  try {
    connection_->begin(mode);
    work(*connection_);
    connection_->commit();
    return true;
  } catch (const SqliteError &error) {
    lastError_ = error.message;
  } catch (...) {
    connection_->rollback();
    throw;
  }
  connection_->rollback();
  return false;
}

bool SqliteRegistry::keyExists(const RegistryKey &key) {
  bool exists = false;
  transaction(Mode::Read, [&](Connection &c) { exists = c.findKey(key).has_value(); });
  return exists;
}

std::optional<RegistryValue> SqliteRegistry::value(const RegistryKey &key, const QString &name) {
  std::optional<RegistryValue> result;
  transaction(Mode::Read, [&](Connection &c) {
    if (const auto id = c.findKey(key))
      result = c.value(*id, name);
  });
  return result;
}

std::optional<QStringList> SqliteRegistry::subKeyNames(const RegistryKey &key) {
  std::optional<QStringList> result;
  transaction(Mode::Read, [&](Connection &c) {
    if (const auto id = c.findKey(key))
      result = c.subKeyNames(*id);
  });
  return result;
}

std::optional<QVector<RegistryNamedValue>> SqliteRegistry::values(const RegistryKey &key) {
  std::optional<QVector<RegistryNamedValue>> result;
  transaction(Mode::Read, [&](Connection &c) {
    if (const auto id = c.findKey(key))
      result = c.values(*id);
  });
  return result;
}

std::optional<QString> SqliteRegistry::subKeyName(const RegistryKey &key, int index) {
  std::optional<QString> result;
  if (index < 0)
    return result;
  transaction(Mode::Read, [&](Connection &c) {
    if (const auto id = c.findKey(key))
      result = c.nameAt(true, *id, index);
  });
  return result;
}

std::optional<QString> SqliteRegistry::valueName(const RegistryKey &key, int index) {
  std::optional<QString> result;
  if (index < 0)
    return result;
  transaction(Mode::Read, [&](Connection &c) {
    if (const auto id = c.findKey(key))
      result = c.nameAt(false, *id, index);
  });
  return result;
}

bool SqliteRegistry::apply(const RegistryBatch &batch) {
  return transaction(Mode::Write, [&](Connection &c) {
    for (const RegistryBatch::Change &change : batch.changes()) {
      switch (change.operation) {
      case RegistryBatch::Operation::CreateKey:
        c.createKey(change.key);
        break;
      case RegistryBatch::Operation::SetValue:
        c.setValue(c.createKey(change.key), change.name, change.value);
        break;
      case RegistryBatch::Operation::DeleteValue: {
        const auto id = c.findKey(change.key);
        const bool deleted = id && c.deleteValue(*id, change.name);
        if (!deleted && change.mustExist)
          throw SqliteError{notFoundMessage()};
        break;
      }
      case RegistryBatch::Operation::DeleteKeyTree: {
        const auto id = c.findKey(change.key);
        if (id)
          c.deleteTree(*id);
        else if (change.mustExist)
          throw SqliteError{notFoundMessage()};
        break;
      }
      }
    }
  });
}

QString SqliteRegistry::lastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastError_;
}
