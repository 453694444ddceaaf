#pragma once
// The swap facility: moving the swap file to another file system. On Linux
// the move runs in a privileged helper.
#include <QString>
#include <memory>

class SwapApi {
public:
  virtual ~SwapApi() = default;
  // Whether mountPoint may take the swap file: a mounted local, fixed
  // block-device file system other than "/", named exactly as mounted.
  virtual bool isSwapTarget(const QString &mountPoint) const = 0;
  // Moves every swap file onto mountPoint (one file of their joint size, or
  // 8192 MiB when there is none); false leaves the swap as it was.
  virtual bool moveSwapFilesTo(const QString &mountPoint) = 0;
  // Why the last move failed, for the log.
  virtual QString lastError() const = 0;
};

// This platform's swap facility.
std::unique_ptr<SwapApi> createSwapApi();
