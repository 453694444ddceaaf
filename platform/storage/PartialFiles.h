#pragma once
// Partial files: the hidden ".NAME.<hex>.part" a copy or a download writes
// beside its target before it takes the target's name.
//
// - A writer holds an exclusive lock on its partial file for as long as it
//   writes it (markInUse), so one that nobody holds was left by a writer
//   that was killed.
// - Only a regular file of the caller's own, still the entry it was opened
//   as, is ever removed; a link or a folder of that name stays.
#include <QByteArray>

namespace PartialFiles {

// The name of a new partial file for name (its first 200 bytes).
QByteArray nameFor(const QByteArray &name);

// Takes the lock that marks the open partial file fd as being written.
bool markInUse(int fd);

// Removes the stale partial files in the folder; only those of name when it
// is given.
void removeStale(int folder, const QByteArray &name = QByteArray());

} // namespace PartialFiles
