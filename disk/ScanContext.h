#pragma once
// What a running asynchronous scan shares between the script thread (stop,
// add) and its worker.
#include "base/CallbackEvent.h"
#include "platform/storage/FileWalker.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>

// A folder waiting in a scan's queue. A folder the caller gave goes through
// %NAME% expansion when it is taken; a folder the scan found itself is one
// of its file list, opened from its parent's descriptor and walked only
// while it is still the folder that was listed.
struct QueuedFolder {
  QString path;   // given by the caller
  int found = -1; // else: the folder's index in the scan's file list
};

class ScanContext {
public:
  ScanContext(const QStringList &folders, ScriptCallback callback);
  virtual ~ScanContext() = default;

  int id = 0;
  std::atomic<bool> stopRequested{false};
  const ScriptCallback callback;

  // The worker's next folder. Once the queue is found empty the scan counts as
  // finished and refuses further folders.
  bool takeFolder(QueuedFolder &folder);
  void appendFolders(const QVector<QueuedFolder> &folders);
  // False once the worker has finished with the queue.
  bool addFolder(const QString &folder);
  void clearFolders();
  void markFinished();

  // True, and the clock restarted, when more than interval has passed since
  // the last time this returned true (or since the scan started).
  bool progressDue(std::chrono::nanoseconds interval);

  void send(const char *type, const QString &data) const;
  void sendFailure(const QString &message) const;

private:
  std::mutex mutex_;
  std::deque<QueuedFolder> pendingFolders_; // taken from the front, added at the back
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastProgressTime_;
};
