#include "disk/ScanContext.h"

#include "disk/FileRecord.h"

ScanContext::ScanContext(const QStringList &folders, ScriptCallback callback)
    : callback(std::move(callback)), lastProgressTime_(std::chrono::steady_clock::now()) {
  FileRecord::resolveTimeZone();
  for (const QString &folder : folders)
    pendingFolders_.push_back({folder, -1});
}

bool ScanContext::takeFolder(QueuedFolder &folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pendingFolders_.empty()) {
    finished_ = true;
    return false;
  }
  folder = std::move(pendingFolders_.front());
  pendingFolders_.pop_front();
  return true;
}

void ScanContext::appendFolders(const QVector<QueuedFolder> &folders) {
  std::lock_guard<std::mutex> lock(mutex_);
  pendingFolders_.insert(pendingFolders_.end(), folders.begin(), folders.end());
}

bool ScanContext::addFolder(const QString &folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_)
    return false;
  pendingFolders_.push_back({folder, -1});
  return true;
}

void ScanContext::clearFolders() {
  std::lock_guard<std::mutex> lock(mutex_);
  pendingFolders_.clear();
}

void ScanContext::markFinished() {
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
}

bool ScanContext::progressDue(std::chrono::nanoseconds interval) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastProgressTime_ <= interval)
    return false;
  lastProgressTime_ = now;
  return true;
}

void ScanContext::send(const char *type, const QString &data) const {
  callback(CallbackEvent()
               .symbol(QStringLiteral("type"), QString::fromLatin1(type))
               .integer(QStringLiteral("id"), id)
               .text(QStringLiteral("data"), data));
}

void ScanContext::sendFailure(const QString &message) const {
  callback(CallbackEvent()
               .symbol(QStringLiteral("type"), QStringLiteral("error"))
               .integer(QStringLiteral("id"), id)
               .text(QStringLiteral("error"), message));
}
