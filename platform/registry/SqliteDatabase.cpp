#include "platform/registry/SqliteDatabase.h"

#include "base/files/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

#include <sqlite3.h>

namespace {

constexpr int busyTimeoutMs = 10000;

void enableWal(sqlite3 *db) {
  // Switching a new database to WAL needs it exclusively; another process
  // doing the same at that moment makes us wait a little.
  for (int attempt = 0;; ++attempt) {
    sqlite3_stmt *statement = nullptr;
    int result = sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &statement, nullptr);
    QByteArray mode;
    if (result == SQLITE_OK) {
      result = sqlite3_step(statement);
      if (result == SQLITE_ROW)
        mode = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    if (mode == "wal")
      return;
    if ((result != SQLITE_BUSY && result != SQLITE_LOCKED && result != SQLITE_ROW) ||
        attempt == 500)
      throw SqliteError{
          QStringLiteral("cannot switch to WAL: %1").arg(QString::fromUtf8(sqlite3_errmsg(db)))};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

} // namespace

sqlite3 *openPrivateDatabase(const QString &path, const char *schema) {
  if (!PrivateFiles::makeFolder(QFileInfo(path).absolutePath()))
    throw SqliteError{QStringLiteral("cannot create the folder of %1").arg(path)};
  // SQLite gives its journals the database's mode, so a private database
  // keeps them private too; older versions left all of them readable.
  if (!PrivateFiles::makeFile(path))
    throw SqliteError{QStringLiteral("cannot create %1").arg(path)};
  for (const char *journal : {"-wal", "-shm", "-journal"})
    PrivateFiles::tighten(path + QLatin1String(journal));
  sqlite3 *db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    throw SqliteError{QStringLiteral("cannot open %1: %2").arg(path, message)};
  }
  try {
    sqlite3_busy_timeout(db, busyTimeoutMs);
    enableWal(db);
    // WAL commits survive a killed process; NORMAL skips only the fsync per commit.
    sqliteExecute(db, "PRAGMA synchronous=NORMAL");
    sqliteExecute(db, "BEGIN IMMEDIATE");
    sqliteExecute(db, schema);
    sqliteExecute(db, "COMMIT");
  } catch (...) {
    sqlite3_close(db);
    throw;
  }
  return db;
}
