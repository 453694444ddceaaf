#pragma once
// A file a scan listed, found again before anything acts on it: its folder
// must still be the folder the walk listed, and the entry there still the file
// listed (device, inode, size, modification time), never reached through a
// link. What became of each file a page asked about is one Result.
#include "disk/ShownFiles.h"
#include "platform/storage/FileWalker.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QString>

#include <functional>
#include <memory>
#include <sys/stat.h>

namespace ListedFile {

enum class Result {
  Listed,
  Deleted,
  Trashed,
  Linked,          // now a hard link to the file kept
  Shared,          // shares its blocks with the file kept (a reflink)
  Gone,            // no longer there
  Changed,         // not the file listed
  KeptChanged,     // the file kept is gone, changed or no longer equal
  NotListed,       // no scan showed it so
  OtherFileSystem, // a link cannot reach the file kept from there
  Failed           // the system refused
};

QString text(Result result);

// A listed file found again: its folder, open, and its name there.
struct Found {
  UniqueFd folder;
  QByteArray name;
  struct stat status = {};
};

// Listed when the folder holding path is still the folder walked and the
// entry there is still the file listed, not a link or anything else (a
// folder a space map listed: the same folder, by device and inode).
Result find(const QString &path, const ShownFiles::Entry &entry, Found &found);

// Open only while it is still the file listed.
std::unique_ptr<ReadOnlyFile> open(const QString &path, const ShownFiles::Entry &entry);

// A free name beside name for work in progress: ".NAME.tidewell-N".
QByteArray besideName(const QByteArray &name, int n);

// Puts the file at temporary in name's place in one exchange, then unlinks
// what left name, which must pass expected (else the exchange is undone and
// temporary unlinked: Changed). left is what left name. Listed once done.
Result swapIn(int folder, const QByteArray &temporary, const QByteArray &name,
              const std::function<bool(const struct stat &)> &expected, struct stat &left);

} // namespace ListedFile
