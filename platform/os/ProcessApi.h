#pragma once
// The process facility: a snapshot of running processes, handles to single
// processes, and detached starts.
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>
#include <memory>
#include <optional>

struct ProcessEntry {
  qint64 pid = 0;
  QString exeName; // file name of the executable, such as explorer.exe
};

// An open process; closed when destroyed. A handle keeps naming the process
// it was opened on, whatever later takes over its pid.
class ProcessHandle {
public:
  // The exit code of a process that has not ended.
  static constexpr int stillActive = 259;

  virtual ~ProcessHandle() = default;
  // The handle's numeric value, for diagnostics.
  virtual quintptr value() const = 0;
  // The executable's file name of the process held, read through the
  // handle; empty when it cannot be read.
  virtual QString exeName() const = 0;
  // stillActive while the process runs, its exit code once it has ended;
  // nothing when that cannot be read.
  virtual std::optional<int> exitCode() const = 0;
  virtual bool terminate(int exitCode) = 0;
};

class ProcessApi {
public:
  virtual ~ProcessApi() = default;
  // Every process of the system in the system's own order.
  virtual QVector<ProcessEntry> snapshot() const = 0;
  // Null when the process cannot be opened.
  virtual std::unique_ptr<ProcessHandle> open(qint64 pid) const = 0;
  // Starts program without waiting for it; an empty workingFolder keeps
  // ours. False when the program cannot be started or the folder is missing.
  virtual bool startDetached(const QString &program, const QStringList &arguments,
                             const QString &workingFolder) const = 0;
};
