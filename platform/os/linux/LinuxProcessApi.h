#pragma once
// Processes from /proc. A handle is a pidfd together with the process's own
// /proc folder, both checked to name the same process, so neither a reused
// pid nor a name read from another process can reach the one held.
#include "platform/os/ProcessApi.h"

class LinuxProcessApi : public ProcessApi {
public:
  QVector<ProcessEntry> snapshot() const override;
  std::unique_ptr<ProcessHandle> open(qint64 pid) const override;
  // Started in a session of its own, not our child, with descriptors 0 to 2
  // only and without the variables through which the engine sets itself up.
  bool startDetached(const QString &program, const QStringList &arguments,
                     const QString &workingFolder) const override;
};
