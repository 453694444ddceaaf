#pragma once
// Finds the files at or above a minimum size under a set of folders, largest
// first: at once, or on a worker thread that reports as it goes. A file is
// listed once however many of the folders hold it. Hidden entries are left
// out unless the folder list asks for them (FolderList::includesHidden); the
// answer then says how many were left out ("skippedHidden").
#include "base/CallbackEvent.h"

#include <QString>

class LargeFileScanner {
public:
  QString scanLargeFiles(const QString &folders, float minimumSize);

  // Messages: "progress" at most every 0.5 s with the list so far, then one
  // "done" or "stopped" with the whole list, or one "error".
  int startScanLargeFiles(const QString &folders, float minimumSize, ScriptCallback callback);
  bool stopScanLargeFiles(int id);
  bool addScanLargeFilesFolder(int id, const QString &folder);
  // Stops the process's running scans of this kind and waits for their
  // workers; called before the engine they report to goes away.
  static void stopAllScans();

  // Truncates toward zero; out-of-range and NaN values saturate.
  static qint64 minimumBytes(float minimumSize);
};
