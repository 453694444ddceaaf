#pragma once
// What a running asynchronous scan shares between the script thread (stop,
// add) and its worker.
#include "host/CallbackEvent.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <mutex>

class ScanContext {
public:
  ScanContext(const QStringList &folders, ScriptCallback callback);
  virtual ~ScanContext() = default;

  int id = 0;
  std::atomic<bool> stopRequested{false};
  const ScriptCallback callback;

  // The worker's next folder. Once the queue is found empty the scan counts as
  // finished and refuses further folders.
  bool takeFolder(QString &folder);
  void appendFolders(const QStringList &folders);
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
  QStringList pendingFolders_;
  bool finished_ = false;
  std::chrono::steady_clock::time_point lastProgressTime_;
};
