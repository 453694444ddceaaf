#pragma once
// Processes from /proc; handles are pidfds, so a handle keeps naming the
// process it was opened on even after its pid is reused.
#include "platform/os/ProcessApi.h"

class LinuxProcessApi : public ProcessApi {
public:
  QVector<ProcessEntry> snapshot() const override;
  std::unique_ptr<ProcessHandle> open(qint64 pid) const override;
  bool startDetached(const QString &program, const QStringList &arguments,
                     const QString &workingFolder) const override;
};
