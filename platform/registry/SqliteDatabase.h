#pragma once
// Opening one of the user's own SQLite databases (the registry store, the
// digest cache): the file and its journals 0600 in a 0700 folder, WAL mode,
// so a commit survives a killed process and readers never wait for a writer,
// and a busy timeout for other processes' transactions.
#include "platform/registry/SqliteStatement.h"

// Opens (creating) the database at path for one thread at a time, and runs
// schema in a transaction. Throws SqliteError.
sqlite3 *openPrivateDatabase(const QString &path, const char *schema);
