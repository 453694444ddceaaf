#pragma once
// A prepared SQLite statement that binds Qt types and resets itself after
// each use, so no statement keeps a transaction open.
#include <QByteArray>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// Thrown by the store's internals; caught at the Registry interface.
struct SqliteError {
  QString message;
};

class SqliteStatement {
public:
  SqliteStatement(sqlite3 *db, const char *sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement &) = delete;
  SqliteStatement &operator=(const SqliteStatement &) = delete;

  // One use: bind from 1 on, then step until done; the guard resets.
  class Use {
  public:
    explicit Use(SqliteStatement &statement) : statement_(statement) {}
    ~Use();
    Use(const Use &) = delete;
    Use &operator=(const Use &) = delete;

    Use &bind(qint64 number);
    Use &bind(const QString &text);
    Use &bind(const QByteArray &blob);
    Use &bindNull();
    bool next(); // true while there is a row; throws on error
    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

  private:
    SqliteStatement &statement_;
    int nextIndex_ = 1;
  };

  Use use() { return Use(*this); }

private:
  friend class Use;
  [[noreturn]] void fail(const char *what) const;
  sqlite3 *db_;
  sqlite3_stmt *statement_ = nullptr;
};

// Runs SQL without results; throws on error.
void sqliteExecute(sqlite3 *db, const char *sql);
