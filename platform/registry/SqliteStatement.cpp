#include "platform/registry/SqliteStatement.h"

#include <sqlite3.h>

namespace {

// Text goes in and out as UTF-8 in which a lone surrogate is written like
// any other BMP code unit (three bytes, as WTF-8 does). SQLite's own UTF-16
// conversion joins a lone high surrogate with whatever unit follows, so two
// different names could meet as one. Valid text is plain UTF-8 either way,
// so databases written before read the same.
QByteArray storedText(const QString &text) {
  QByteArray bytes;
  bytes.reserve(text.size() * 3);
  const int size = text.size();
  for (int i = 0; i < size; ++i) {
    uint unit = text.at(i).unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < size && text.at(i + 1).isLowSurrogate())
      unit = QChar::surrogateToUcs4(ushort(unit), text.at(++i).unicode());
    if (unit < 0x80) {
      bytes += char(unit);
    } else if (unit < 0x800) {
      bytes += char(0xc0 | (unit >> 6));
      bytes += char(0x80 | (unit & 0x3f));
    } else if (unit < 0x10000) {
      bytes += char(0xe0 | (unit >> 12));
      bytes += char(0x80 | ((unit >> 6) & 0x3f));
      bytes += char(0x80 | (unit & 0x3f));
    } else {
      bytes += char(0xf0 | (unit >> 18));
      bytes += char(0x80 | ((unit >> 12) & 0x3f));
      bytes += char(0x80 | ((unit >> 6) & 0x3f));
      bytes += char(0x80 | (unit & 0x3f));
    }
  }
  return bytes;
}

// The reverse of storedText; a byte that starts no sequence it writes reads
// as U+FFFD.
QString textFromStored(const char *bytes, int size) {
  QString text;
  text.reserve(size);
  int i = 0;
  while (i < size) {
    const uchar lead = uchar(bytes[i]);
    const int length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    uint code = length == 1   ? lead
                : length == 2 ? lead & 0x1f
                : length == 3 ? lead & 0x0f
                              : lead & 0x07;
    bool valid = length > 0 && i + length <= size;
    for (int k = 1; valid && k < length; ++k) {
      const uchar next = uchar(bytes[i + k]);
      valid = (next & 0xc0) == 0x80;
      code = (code << 6) | (next & 0x3f);
    }
    static const uint smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < smallest[length] || code > 0x10ffff) {
      text += QChar(QChar::ReplacementCharacter);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      text += QChar(QChar::highSurrogate(code));
      text += QChar(QChar::lowSurrogate(code));
    } else {
      text += QChar(ushort(code));
    }
    i += length;
  }
  return text;
}

} // namespace

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
  const QByteArray bytes = storedText(text);
  if (sqlite3_bind_text(statement_.statement_, nextIndex_++, bytes.constData(), bytes.size(),
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

SqliteStatement::Use &SqliteStatement::Use::bindNull() {
  if (sqlite3_bind_null(statement_.statement_, nextIndex_++) != SQLITE_OK)
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
  const unsigned char *data = sqlite3_column_text(statement_.statement_, column);
  const int bytes = sqlite3_column_bytes(statement_.statement_, column);
  return textFromStored(reinterpret_cast<const char *>(data), bytes);
}

QByteArray SqliteStatement::Use::blob(int column) const {
  const void *data = sqlite3_column_blob(statement_.statement_, column);
  const int bytes = sqlite3_column_bytes(statement_.statement_, column);
  return QByteArray(static_cast<const char *>(data), bytes);
}

bool SqliteStatement::Use::isNull(int column) const {
  return sqlite3_column_type(statement_.statement_, column) == SQLITE_NULL;
}

void sqliteExecute(sqlite3 *db, const char *sql) {
  char *message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    throw SqliteError{text};
  }
}
