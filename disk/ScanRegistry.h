#pragma once
// The running scans of one kind, by id. Ids start at 1 and are never reused.
// Lock order: the registry lock, then a context's own lock.
#include "disk/ScanContext.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>

class ScanRegistry {
public:
  // Registers the context under a new id and runs body on a detached thread
  // in the idle scheduling and I/O classes. body returns the end message's data; when it throws,
  // the scan ends with failureMessage instead. Either way the scan leaves the
  // registry just before its one final message. Returns the id.
  int start(const std::shared_ptr<ScanContext> &context, std::function<QString()> body,
            const QString &failureMessage);

  // Sets the stop flag and drops the queued folders; false when the id is not running.
  bool stop(int id);
  // Queues a folder; false when the id is not running, is stopping or has finished its queue.
  bool addFolder(int id, const QString &folder);
  // Stops every running scan and waits until each worker has sent its last
  // message and let go of its callback, so none outlives what it calls.
  void stopAllAndWait();

private:
  void finish(ScanContext &context, const std::function<QString()> &body,
              const QString &failureMessage);
  void remove(int id);

  std::mutex mutex_;
  std::map<int, std::shared_ptr<ScanContext>> scans_;
  int lastId_ = 0;
  int workers_ = 0; // threads started and not yet done with their context
  std::condition_variable idle_;
};
