#pragma once
// Finding, listing, ending and starting processes by executable name.
#include <QString>
#include <memory>

#include "platform/os/ProcessApi.h"

class ProcessControl {
public:
  ProcessControl();
  explicit ProcessControl(std::shared_ptr<ProcessApi> processes);

  bool isProcessRunning(const QString &name);
  QString getProcessIDList(const QString &name);
  QString getProcessNameList();
  bool killProcess(const QString &name);
  bool launch(const QString &program, const QString &workDir, const QString &command);

private:
  std::unique_ptr<ProcessHandle> openListed(const ProcessEntry &entry) const;
  bool isLive(const ProcessEntry &entry) const;

  std::shared_ptr<ProcessApi> processes_;
};
