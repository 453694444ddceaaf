#pragma once
// Finds groups of files with identical content under a set of folders: at
// once, or on a worker thread that reports as it goes.
#include "base/CallbackEvent.h"

#include <QString>

class DuplicateFileFinder {
public:
  QString findDuplicateFiles(const QString &folders);

  // Messages: "progress" at most every 2 s and only when the groups changed,
  // then one "done" or "stopped" with all groups, or one "error".
  int startScanDuplicateFiles(const QString &folders, ScriptCallback callback);
  bool stopScanDuplicateFiles(int id);
  bool addScanDuplicateFilesFolder(int id, const QString &folder);
  // Stops the process's running scans of this kind and waits for their
  // workers; called before the engine they report to goes away.
  static void stopAllScans();
};
