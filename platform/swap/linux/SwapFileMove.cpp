#include "platform/swap/linux/SwapFileMove.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/os/CommandRunner.h"
#include "platform/storage/LinuxStorageInfo.h"
#include "platform/swap/SwapFiles.h"
#include "platform/swap/SwapTarget.h"
#include "platform/swap/linux/FstabText.h"

namespace {

constexpr int setupTimeLimitMs = 2 * 60 * 1000;
// Turning swap off pages everything back into memory first.
constexpr int swapoffTimeLimitMs = 30 * 60 * 1000;
constexpr quint64 spaceMarginBytes = 64ull << 20;

QByteArray nativePath(const QString &path) {
  return QFile::encodeName(path);
}

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data += written;
    size -= size_t(written);
  }
  return true;
}

void syncFolderOf(const QString &path) {
  const int fd =
      ::open(nativePath(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

} // namespace

SwapFileMove::SwapFileMove(SwapPaths paths) : paths_(std::move(paths)) {}

bool SwapFileMove::fail(const QString &message) {
  error_ = message;
  return false;
}

// Takes back every step done, latest first; the first failure stays the one reported.
bool SwapFileMove::undo() {
  const QString error = error_;
  while (!undoSteps_.isEmpty())
    undoSteps_.takeLast()();
  error_ = error;
  return false;
}

bool SwapFileMove::run(const QString &mountPoint) {
  error_.clear();
  undoSteps_.clear();
  LinuxStorageInfo storage(paths_.storageRoot);
  if (!SwapTarget::accepts(storage, mountPoint))
    return fail(QStringLiteral("not a local fixed file system other than /: ") + mountPoint);
  const QVector<SwapFile> oldFiles = SwapFiles::active(storage);
  const QString newFile = SwapTarget::swapFilePath(mountPoint);
  QStringList oldPaths;
  for (const SwapFile &file : oldFiles) {
    if (file.path == newFile)
      return fail(QStringLiteral("the swap file is already there: ") + newFile);
    oldPaths.append(file.path);
  }
  const quint64 sizeBytes = oldFiles.isEmpty() ? defaultSizeBytes : SwapFiles::totalBytes(oldFiles);

  QFile fstab(paths_.fstab);
  struct stat fstabInfo;
  if (::stat(nativePath(paths_.fstab).constData(), &fstabInfo) != 0 ||
      !fstab.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("cannot read ") + paths_.fstab);
  const QByteArray originalFstab = fstab.readAll();
  fstab.close();
  const unsigned fstabMode = fstabInfo.st_mode & 07777;

  if (!createFile(newFile, sizeBytes))
    return false;
  undoSteps_.append([newFile] { ::unlink(nativePath(newFile).constData()); });
  if (!runCommand(paths_.mkswap, newFile, setupTimeLimitMs) ||
      !runCommand(paths_.swapon, newFile, setupTimeLimitMs))
    return undo();
  undoSteps_.append([this, newFile] { runCommand(paths_.swapoff, newFile, swapoffTimeLimitMs); });

  if (!replaceFile(paths_.fstab + QStringLiteral(".tidewell.bak"), originalFstab, fstabMode) ||
      !replaceFile(paths_.fstab, FstabText::withSwapFile(originalFstab, oldPaths, newFile),
                   fstabMode))
    return undo();
  undoSteps_.append(
      [this, originalFstab, fstabMode] { replaceFile(paths_.fstab, originalFstab, fstabMode); });

  for (const QString &oldFile : oldPaths) {
    if (!runCommand(paths_.swapoff, oldFile, swapoffTimeLimitMs))
      return undo();
    undoSteps_.append([this, oldFile] { runCommand(paths_.swapon, oldFile, setupTimeLimitMs); });
  }
  // Renamed first, which can be undone, so that a file that cannot go leaves
  // every old file in place.
  QStringList doomed;
  for (const QString &oldFile : oldPaths) {
    const QString aside = oldFile + QStringLiteral(".tidewell-old");
    if (::rename(nativePath(oldFile).constData(), nativePath(aside).constData()) != 0) {
      fail(QStringLiteral("cannot remove %1: %2").arg(oldFile, systemError()));
      return undo();
    }
    undoSteps_.append([oldFile, aside] {
      ::rename(nativePath(aside).constData(), nativePath(oldFile).constData());
    });
    doomed.append(aside);
  }
  undoSteps_.clear();
  for (const QString &file : doomed)
    ::unlink(nativePath(file).constData());
  return true;
}

bool SwapFileMove::createFile(const QString &path, quint64 sizeBytes) {
  struct statvfs space;
  const QString folder = QFileInfo(path).path();
  if (::statvfs(nativePath(folder).constData(), &space) != 0 ||
      quint64(space.f_bavail) * space.f_frsize < sizeBytes + spaceMarginBytes)
    return fail(QStringLiteral("not enough free space on ") + folder);
  // Never through a link, never over an existing file, and never readable by
  // others, not even for a moment.
  const int fd = ::open(nativePath(path).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return fail(QStringLiteral("cannot create %1: %2").arg(path, systemError()));
  // Written out, not allocated: swap must not have holes.
  const QByteArray zeros(1 << 20, '\0');
  bool written = ::fchmod(fd, 0600) == 0;
  for (quint64 left = sizeBytes; written && left > 0;) {
    const size_t chunk = size_t(qMin<quint64>(left, quint64(zeros.size())));
    written = writeAll(fd, zeros.constData(), chunk);
    left -= chunk;
  }
  written = written && ::fsync(fd) == 0;
  const QString reason = systemError();
  ::close(fd);
  if (!written) {
    ::unlink(nativePath(path).constData());
    return fail(QStringLiteral("cannot write %1: %2").arg(path, reason));
  }
  return true;
}

bool SwapFileMove::runCommand(const QString &program, const QString &file, int timeoutMs) {
  const CommandResult result = CommandRunner::run(program, {file}, timeoutMs);
  if (result.succeeded())
    return true;
  return fail(
      QStringLiteral("%1 %2 failed: %3")
          .arg(program, file,
               result.finished ? result.errorOutput.trimmed() : QStringLiteral("did not finish")));
}

// Through a temporary file in the same folder, synced before it takes the
// name, so a crash leaves either the old or the new content.
bool SwapFileMove::replaceFile(const QString &path, const QByteArray &content, unsigned mode) {
  const QString temporary = path + QStringLiteral(".tidewell-new");
  struct stat info;
  if (::lstat(nativePath(temporary).constData(), &info) == 0 && S_ISREG(info.st_mode))
    ::unlink(nativePath(temporary).constData()); // left by an earlier crash
  const int fd = ::open(nativePath(temporary).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return fail(QStringLiteral("cannot write %1: %2").arg(temporary, systemError()));
  const bool written = writeAll(fd, content.constData(), size_t(content.size())) &&
                       ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ::close(fd);
  if (!written || ::rename(nativePath(temporary).constData(), nativePath(path).constData()) != 0) {
    const QString reason = systemError();
    ::unlink(nativePath(temporary).constData());
    return fail(QStringLiteral("cannot write %1: %2").arg(path, reason));
  }
  syncFolderOf(path);
  return true;
}
