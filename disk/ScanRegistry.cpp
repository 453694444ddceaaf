#include "disk/ScanRegistry.h"

#include "platform/storage/ThreadPriority.h"

#include <thread>

int ScanRegistry::start(const std::shared_ptr<ScanContext> &context, std::function<QString()> body,
                        const QString &failureMessage) {
  int id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = ++lastId_;
    context->id = id;
    scans_[id] = context;
    ++workers_;
  }
  try {
    std::thread([this, worker = context, body = std::move(body), failureMessage]() mutable {
      runCurrentThreadWhenIdle();
      finish(*worker, body, failureMessage);
      body = nullptr; // it may hold the context too
      worker.reset();
      std::lock_guard<std::mutex> lock(mutex_);
      --workers_;
      idle_.notify_all();
    }).detach();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    scans_.erase(id);
    --workers_;
    throw;
  }
  return id;
}

void ScanRegistry::stopAllAndWait() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (const auto &scan : scans_) {
    scan.second->stopRequested = true;
    scan.second->clearFolders();
  }
  idle_.wait(lock, [this] { return workers_ == 0; });
}

void ScanRegistry::finish(ScanContext &context, const std::function<QString()> &body,
                          const QString &failureMessage) {
  QString data;
  bool failed = false;
  try {
    data = body();
  } catch (...) {
    failed = true;
  }
  context.markFinished();
  remove(context.id);
  try {
    if (failed)
      context.sendFailure(failureMessage);
    else
      context.send(context.stopRequested ? "stopped" : "done", data);
  } catch (...) {
    // Nothing is left to tell the script.
  }
}

bool ScanRegistry::stop(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = scans_.find(id);
  if (found == scans_.end())
    return false;
  found->second->stopRequested = true;
  found->second->clearFolders();
  return true;
}

bool ScanRegistry::addFolder(int id, const QString &folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = scans_.find(id);
  if (found == scans_.end() || found->second->stopRequested)
    return false;
  return found->second->addFolder(folder);
}

void ScanRegistry::remove(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  scans_.erase(id);
}
