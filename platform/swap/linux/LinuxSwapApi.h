#pragma once
// Swap on Linux: the move runs here when we are root, else in the privileged
// helper started through pkexec under its own polkit action.
#include "platform/swap/SwapApi.h"
#include "platform/swap/SwapPaths.h"

class LinuxSwapApi : public SwapApi {
public:
  explicit LinuxSwapApi(SwapPaths paths = SwapPaths());

  bool isSwapTarget(const QString &mountPoint) const override;
  bool moveSwapFilesTo(const QString &mountPoint) override;
  QString lastError() const override { return error_; }

private:
  SwapPaths paths_;
  QString error_;
};
