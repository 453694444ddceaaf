#pragma once
// Deletes what a scan showed the page, and nothing else:
//
// - Only a path that a scan of the same kind listed (ShownFiles), at the
//   size the page shows.
// - Each file is found again beneath a descriptor of its folder, which must
//   still be the folder the walk listed; the file itself is never reached
//   through a link and must still be the file listed (device, inode, size,
//   modification time). It is deleted with unlinkat from that folder, or,
//   when the request says "trash": true, moved from that folder to the Trash
//   of its file system (Trash.h), where the user can restore it.
// - A copy in a duplicate group goes only while the file kept in its group
//   is still the file listed and holds, byte for byte, what the copies hold
//   and what the scan hashed. If any file of a group fails a check, nothing
//   of that group is deleted.
//
// - A folder or file of a space map goes while it is still what the map
//   listed (a folder: its device and inode), a folder with all it holds.
//
// The request is JSON text, either
//   {"files": [{"path": P, "size": N}, ...]}                      large files
//   {"groups": [{"hash": H, "keep": P, "delete": [P, ...]}, ...]} duplicates
//   {"entries": [{"path": P, "size": N}, ...]}                    a space map
// with "keep" empty when the user chose every copy of a group, and either may
// carry "trash": true. Duplicates may instead carry "link": true: each copy
// then stays, replaced by the file kept (CopyLinker.h), and "keep" must name
// one. Contents are
// compared, so the work runs on a worker thread. It sends "progress" after the
// first answer and then at most every 0.5 s, and ends with one "done",
// "stopped" (asked to stop: it stops between files and between groups) or
// "error". Each but "error" carries the answers so far,
// {"list": [{"freed": B, "path": P, "result": R}, ...]}, B the bytes the file
// system got back (its blocks; 0 while other names link to the file, when it
// went to the Trash, or when it was not deleted; for a folder, 0), R being "deleted",
// "trashed" (in the Trash: its space returns when the Trash is emptied),
// "linked" (now a hard link to the file kept), "shared" (its blocks shared
// with the file kept's), "otherFileSystem" (no link can reach the file kept),
// "gone" (no longer there), "changed" (not the file listed), "keptChanged"
// (the file kept is gone, changed or no longer equal), "notListed" (no scan
// showed it so) or "failed" (the system refused); a path not answered was
// not reached. When any file was acted on, the end message also carries
// "record": the id of what CleaningRecords.h keeps of it, for an undo.
#include "base/CallbackEvent.h"

#include <QString>

class ScannedFileRemover {
public:
  // The worker's id.
  int deleteScannedFiles(const QString &request, ScriptCallback callback);
  // False when the id is not running.
  bool stopDeleteScannedFiles(int id);
  // Stops the running deletions and waits for their workers; called before
  // the engine they report to goes away.
  static void stopAll();
};
