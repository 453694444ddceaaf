#pragma once
// Where the space of a folder goes: a background walk that adds up, folder by
// folder, the blocks each entry holds on disk and its apparent size, the way
// du does (no link followed, one file system, a hard-linked file once, a
// mount point left out). The tree is readable while it grows, and stays
// after the scan ends (the last two scans' trees are kept).
#include "base/CallbackEvent.h"

#include <QString>

class SpaceMapScanner {
public:
  // folder: an absolute path, "" for the home folder. Messages: "progress"
  // at most every 0.5 s, then one "done" or "stopped", each with
  // {"path", "allocated", "apparent", "files", "folders"} so far; or one
  // "error" when the folder cannot be opened.
  int startScanSpaceMap(const QString &folder, ScriptCallback callback);
  bool stopScanSpaceMap(int id);

  // The folder at path in scan id's tree, its items largest first by the
  // size chosen (apparent, else on disk):
  //   {"path", "allocated", "apparent", "complete",
  //    "items": [{"name", "path", "kind", "allocated", "apparent", "share",
  //               "complete"}...],
  //    "rest": {"count", "allocated", "apparent", "share"}}
  // "kind" is "folder" or a FileKind text; "share" the part of the folder
  // by the size chosen; "rest" the folder's own entry, the files not kept
  // by name and, past the first 2,000 items, the smaller ones. Folders and regular files listed may
  // then be deleted (ScannedFileRemover, "entries"). "" when there is no such tree or folder.
  QString spaceMapChildren(int id, const QString &path, bool apparent);
  // After a deletion: takes the item at path out of the tree, and its sizes
  // out of its folders, when nothing is there any more.
  bool forgetSpaceMapItem(int id, const QString &path);

  static void stopAllScans();
};
