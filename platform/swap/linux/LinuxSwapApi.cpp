#include "platform/swap/linux/LinuxSwapApi.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/CommandRunner.h"
#include "platform/storage/LinuxStorageInfo.h"
#include "platform/swap/SwapTarget.h"
#include "platform/swap/linux/SwapFileMove.h"

namespace {

// Creating a large file and paging the old swap back in both take a while,
// and the authorisation dialog waits for the user.
constexpr int helperTimeLimitMs = 60 * 60 * 1000;

// pkexec runs the helper as root: only a file that no one but root can change.
bool isRootOwned(const QString &path) {
  struct stat info;
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

std::unique_ptr<SwapApi> createSwapApi() {
  return std::make_unique<LinuxSwapApi>();
}

LinuxSwapApi::LinuxSwapApi(SwapPaths paths) : paths_(std::move(paths)) {}

bool LinuxSwapApi::isSwapTarget(const QString &mountPoint) const {
  LinuxStorageInfo storage(paths_.storageRoot);
  return SwapTarget::accepts(storage, mountPoint);
}

bool LinuxSwapApi::moveSwapFilesTo(const QString &mountPoint) {
  error_.clear();
  if (::geteuid() == 0) {
    SwapFileMove move(paths_);
    if (move.run(mountPoint))
      return true;
    error_ = move.error();
    return false;
  }
  if (!isRootOwned(paths_.helper)) {
    error_ = QStringLiteral("the swap helper is not installed: ") + paths_.helper;
    return false;
  }
  const CommandResult result = CommandRunner::run(
      paths_.pkexec, {paths_.helper, QStringLiteral("move"), mountPoint}, helperTimeLimitMs);
  if (result.succeeded())
    return true;
  // pkexec: 126 when the user dismissed the dialog, 127 when not authorised.
  error_ = !result.finished ? QStringLiteral("the swap helper did not finish")
           : result.exitCode == 126 || result.exitCode == 127 ? QStringLiteral("not authorised")
                                                              : result.errorOutput.trimmed();
  return false;
}
