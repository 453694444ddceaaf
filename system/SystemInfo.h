#pragma once
// Facts about the machine and the running program, and the folders pages
// build paths from.
#include <QString>
#include <memory>

#include "platform/os/Connectivity.h"
#include "platform/os/SystemApi.h"

class SystemInfo {
public:
  SystemInfo();
  // Without a connectivity source, the system's own.
  explicit SystemInfo(std::shared_ptr<SystemApi> system,
                      std::shared_ptr<Connectivity> connectivity = nullptr);

  bool is64BitOS();
  bool isWindows7();
  bool isInternetAvailable();
  bool isNetworkConnected();
  int getSecondsSinceEpoch();
  QString OS();
  QString cpuArchitecture();
  QString kernelType();
  QString kernelVersion();
  QString language();
  QString getCommandLine();
  QString arguments();
  QString processFolder();
  // The system package this program came from, empty for a copy of its own.
  QString installedPackage();
  QString getTempPath();
  QString appDataPath();
  QString programsPath();

private:
  std::shared_ptr<SystemApi> system_;
  std::shared_ptr<Connectivity> connectivity_;
};
