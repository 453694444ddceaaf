#include "platform/registry/SqliteStatement.h"

#include <sqlite3.h>

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql) : db_(db) {
  if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr) != SQLITE_OK)
    fail("prepare");
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(statement_);
}

void SqliteStatement::fail(const char *what) const {
  throw SqliteError{
      QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db_)))};
}

SqliteStatement::Use::~Use() {
  sqlite3_reset(statement_.statement_);
  sqlite3_clear_bindings(statement_.statement_);
}

SqliteStatement::Use &SqliteStatement::Use::bind(qint64 number) {
  if (sqlite3_bind_int64(statement_.statement_, nextIndex_++, number) != SQLITE_OK)
    statement_.fail("bind");
  return *this;
}

SqliteStatement::Use &SqliteStatement::Use::bind(const QString &text) {
  if (sqlite3_bind_text16(statement_.statement_, nextIndex_++, text.utf16(), text.size() * 2,
                          SQLITE_TRANSIENT) != SQLITE_OK)
    statement_.fail("bind");
  return *this;
}

SqliteStatement::Use &SqliteStatement::Use::bind(const QByteArray &blob) {
  // A null pointer would bind NULL; an empty value is a zero-length blob.
  const int result = blob.isEmpty()
                         ? sqlite3_bind_zeroblob(statement_.statement_, nextIndex_++, 0)
                         : sqlite3_bind_blob(statement_.statement_, nextIndex_++, blob.constData(),
                                             blob.size(), SQLITE_TRANSIENT);
  if (result != SQLITE_OK)
    statement_.fail("bind");
  return *this;
}

bool SqliteStatement::Use::next() {
  const int result = sqlite3_step(statement_.statement_);
  if (result == SQLITE_ROW)
    return true;
  if (result == SQLITE_DONE)
    return false;
  statement_.fail("step");
}

qint64 SqliteStatement::Use::integer(int column) const {
  return sqlite3_column_int64(statement_.statement_, column);
}

QString SqliteStatement::Use::text(int column) const {
  const void *data = sqlite3_column_text16(statement_.statement_, column);
  const int bytes = sqlite3_column_bytes16(statement_.statement_, column);
  return QString(static_cast<const QChar *>(data), bytes / 2);
}

QByteArray SqliteStatement::Use::blob(int column) const {
  const void *data = sqlite3_column_blob(statement_.statement_, column);
  const int bytes = sqlite3_column_bytes(statement_.statement_, column);
  return QByteArray(static_cast<const char *>(data), bytes);
}

void sqliteExecute(sqlite3 *db, const char *sql) {
  char *message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    throw SqliteError{text};
  }
}
