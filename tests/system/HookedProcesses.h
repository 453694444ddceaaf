#pragma once
// The real process facility with a step run right after each snapshot, before
// any process of it is opened: where a listed process ends, or its pid passes
// to another process.
#include <functional>

#include "platform/os/OsPlatform.h"

class HookedProcesses : public ProcessApi {
public:
  explicit HookedProcesses(std::function<void()> afterSnapshot)
      : afterSnapshot_(std::move(afterSnapshot)) {}

  QVector<ProcessEntry> snapshot() const override {
    const QVector<ProcessEntry> entries = real_->snapshot();
    afterSnapshot_();
    return entries;
  }
  std::unique_ptr<ProcessHandle> open(qint64 pid) const override { return real_->open(pid); }
  bool startDetached(const QString &program, const QStringList &arguments,
                     const QString &workingFolder) const override {
    return real_->startDetached(program, arguments, workingFolder);
  }

private:
  std::shared_ptr<ProcessApi> real_ = OsPlatform::processes();
  std::function<void()> afterSnapshot_;
};
