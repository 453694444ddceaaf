#pragma once
// Puts back what a recorded cleaning (CleaningRecords.h) took, as far as it
// still can:
//
// - A trashed file goes back from the Trash to its original path while it is
//   still there (Trash::restore): never over an entry that has appeared at
//   that path since. Missing folders on the way are made again (0700, as
//   file managers and trash-restore make them), but only inside a folder the
//   user owns.
// - A copy replaced by a hard link gets its own content back: a new file
//   beside the link, filled from it, given the copy's noted owner, mode and
//   times, then exchanged with the link in one rename; only while the path
//   is still that link in the same folder.
// - A copy sharing blocks is already a file of its own; a deleted file
//   cannot come back.
//
// The work runs on a worker thread and ends with one "done" or "stopped"
// (asked to stop: between files) carrying {"list": [{"path": P,
// "result": R}, ...]}, R being "restored", "occupied" (something is at the
// path), "notInTrash" (emptied, or restored elsewhere), "changed" (the path
// no longer holds the link made), "deleted" (deleted outright), "shared"
// (nothing to put back) or "failed"; or with "error" when there is no such
// record. What was put back is marked in the record, so a later undo of the
// same record only tries the rest.
#include "base/CallbackEvent.h"

#include <QString>

class CleaningUndo {
public:
  // The worker's id.
  int undoCleaning(const QString &record, ScriptCallback callback);
  static void stopAll();
};
