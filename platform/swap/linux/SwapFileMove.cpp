#include "platform/swap/linux/SwapFileMove.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/os/CommandRunner.h"
#include "platform/storage/LinuxStorageInfo.h"
#include "platform/storage/TrustedFolder.h"
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

// Whether name in folder is the file open as fd (never through a link).
bool isNamed(int folder, const QByteArray &name, int fd) {
  struct stat named, held;
  return ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         ::fstat(fd, &held) == 0 && FileId::of(named) == FileId::of(held);
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
  oldFiles_.clear();
  file_.reset();
  LinuxStorageInfo storage(paths_.storageRoot);
  if (!SwapTarget::accepts(storage, mountPoint))
    return fail(QStringLiteral("not a local fixed file system other than /: ") + mountPoint);
  QString refusal;
  folder_ = TrustedFolder::open(mountPoint, refusal);
  if (!folder_.isValid())
    return fail(QStringLiteral("refusing %1: %2").arg(mountPoint, refusal));
  const QString newFile = SwapTarget::swapFilePath(mountPoint);
  const QByteArray newName = QFile::encodeName(QFileInfo(newFile).fileName());
  const QByteArray partialName = newName + ".tidewell-new";
  const QString partialFile = newFile + QStringLiteral(".tidewell-new");
  bool finishing = false; // the new file is on already: a killed run got that far
  QStringList oldPaths;
  quint64 sizeBytes = 0;
  for (const SwapFile &file : SwapFiles::active(storage)) {
    if (file.path == newFile) {
      finishing = true;
    } else {
      oldPaths.append(file.path);
      sizeBytes += file.sizeBytes;
    }
  }
  if (finishing && oldPaths.isEmpty())
    return fail(QStringLiteral("the swap file is already there: ") + newFile);
  if (!openOldFiles(oldPaths))
    return false;
  if (oldPaths.isEmpty())
    sizeBytes = defaultSizeBytes;

  QFile fstab(paths_.fstab);
  struct stat fstabInfo;
  if (::stat(nativePath(paths_.fstab).constData(), &fstabInfo) != 0 ||
      !fstab.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("cannot read ") + paths_.fstab);
  const QByteArray originalFstab = fstab.readAll();
  fstab.close();
  const unsigned fstabMode = fstabInfo.st_mode & 07777;

  if (finishing) {
    if (!openSwapFile(newName, newFile))
      return false;
  } else {
    // What a killed run left before its file went on: ours, as no one else
    // can make files here; a file that fstab names is not.
    if (!takeBack(partialName, partialFile) ||
        (!FstabText::namesSwapFile(originalFstab, newFile) && !takeBack(newName, newFile)))
      return false;
    if (!createFile(partialName, partialFile, sizeBytes))
      return false;
    undoSteps_.append([this, partialName] {
      if (isStillNamed(partialName))
        ::unlinkat(folder_.get(), partialName.constData(), 0);
    });
    const QString file = descriptorPath(file_.get());
    if (!isStillNamed(partialName) ||
        !runCommand(paths_.mkswap, file, partialFile, setupTimeLimitMs) ||
        !isStillNamed(partialName))
      return undo();
    // The name fstab will hold, taken before swapon (the kernel keeps an
    // active swap file from being renamed), and never over another file.
    if (::renameat2(folder_.get(), partialName.constData(), folder_.get(), newName.constData(),
                    RENAME_NOREPLACE) != 0) {
      fail(QStringLiteral("cannot name the swap file %1: %2").arg(newFile, systemError()));
      return undo();
    }
    undoSteps_.append([this, partialName, newName] {
      if (isStillNamed(newName))
        ::renameat(folder_.get(), newName.constData(), folder_.get(), partialName.constData());
    });
    if (!isStillNamed(newName) || !runCommand(paths_.swapon, file, newFile, setupTimeLimitMs))
      return undo();
    undoSteps_.append(
        [this, file, newFile] { runCommand(paths_.swapoff, file, newFile, swapoffTimeLimitMs); });
  }

  if (!isStillNamed(newName) ||
      !replaceFile(paths_.fstab + QStringLiteral(".tidewell.bak"), originalFstab, fstabMode) ||
      !replaceFile(paths_.fstab, FstabText::withSwapFile(originalFstab, oldPaths, newFile),
                   fstabMode))
    return undo();
  undoSteps_.append(
      [this, originalFstab, fstabMode] { replaceFile(paths_.fstab, originalFstab, fstabMode); });

  for (OldFile &old : oldFiles_) {
    const QString file = descriptorPath(old.file.get());
    if (!runCommand(paths_.swapoff, file, old.path, swapoffTimeLimitMs))
      return undo();
    undoSteps_.append(
        [this, file, &old] { runCommand(paths_.swapon, file, old.path, setupTimeLimitMs); });
  }
  // Renamed first, which can be undone, so that a file that cannot go leaves
  // every old file in place; by name in the folder it was found in, and only
  // while the name is still that file.
  for (OldFile &old : oldFiles_) {
    const QByteArray aside = old.name + ".tidewell-old";
    if (!isNamed(old.folder.get(), old.name, old.file.get()) ||
        ::renameat(old.folder.get(), old.name.constData(), old.folder.get(), aside.constData()) !=
            0) {
      fail(QStringLiteral("cannot remove %1: %2").arg(old.path, systemError()));
      return undo();
    }
    undoSteps_.append([&old, aside] {
      if (isNamed(old.folder.get(), aside, old.file.get()))
        ::renameat(old.folder.get(), aside.constData(), old.folder.get(), old.name.constData());
    });
  }
  undoSteps_.clear();
  for (const OldFile &old : oldFiles_) {
    const QByteArray aside = old.name + ".tidewell-old";
    if (isNamed(old.folder.get(), aside, old.file.get()))
      ::unlinkat(old.folder.get(), aside.constData(), 0);
  }
  return true;
}

// Removes a file a killed run left, if it is one: root's own regular file.
bool SwapFileMove::takeBack(const QByteArray &name, const QString &path) {
  struct stat named, held;
  if (::fstatat(folder_.get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT || fail(QStringLiteral("cannot check %1: %2").arg(path, systemError()));
  const UniqueFd file(
      ::openat(folder_.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!S_ISREG(named.st_mode) || named.st_uid != ::geteuid() || (named.st_mode & 077) != 0 ||
      !file.isValid() || ::fstat(file.get(), &held) != 0 ||
      !(FileId::of(held) == FileId::of(named)))
    return fail(QStringLiteral("something else is in the way: ") + path);
  if (::unlinkat(folder_.get(), name.constData(), 0) != 0)
    return fail(QStringLiteral("cannot remove %1: %2").arg(path, systemError()));
  return true;
}

bool SwapFileMove::createFile(const QByteArray &name, const QString &path, quint64 sizeBytes) {
  struct statvfs space;
  if (::fstatvfs(folder_.get(), &space) != 0 ||
      quint64(space.f_bavail) * space.f_frsize < sizeBytes + spaceMarginBytes)
    return fail(QStringLiteral("not enough free space for ") + path);
  // Never through a link, never over an existing file, and never readable by
  // others, not even for a moment.
  UniqueFd writer(::openat(folder_.get(), name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!writer.isValid())
    return fail(QStringLiteral("cannot create %1: %2").arg(path, systemError()));
  // Written out, not allocated: swap must not have holes.
  const QByteArray zeros(1 << 20, '\0');
  bool written = ::fchmod(writer.get(), 0600) == 0;
  for (quint64 left = sizeBytes; written && left > 0;) {
    const size_t chunk = size_t(qMin<quint64>(left, quint64(zeros.size())));
    written = writeAll(writer.get(), zeros.constData(), chunk);
    left -= chunk;
  }
  written = written && ::fsync(writer.get()) == 0;
  // Kept open read-only from here: the commands reopen it through this descriptor.
  if (written)
    file_.reset(::open(nativePath(descriptorPath(writer.get())).constData(), O_RDONLY | O_CLOEXEC));
  if (!written || !file_.isValid()) {
    const QString reason = systemError();
    ::unlinkat(folder_.get(), name.constData(), 0);
    return fail(QStringLiteral("cannot write %1: %2").arg(path, reason));
  }
  return true;
}

// The new file a killed run left on as swap: root's own regular file, private.
bool SwapFileMove::openSwapFile(const QByteArray &name, const QString &path) {
  file_.reset(
      ::openat(folder_.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info;
  if (!file_.isValid() || ::fstat(file_.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    return fail(QStringLiteral("something else is in the way: ") + path);
  return true;
}

// Each held open with its folder, so that no later change of a name on the
// way can lead a command or a deletion elsewhere.
bool SwapFileMove::openOldFiles(const QStringList &paths) {
  oldFiles_.clear();
  for (const QString &path : paths) {
    OldFile old{path,
                UniqueFd(::open(nativePath(QFileInfo(path).path()).constData(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
                nativePath(QFileInfo(path).fileName()), UniqueFd()};
    struct stat info;
    old.file.reset(::openat(old.folder.get(), old.name.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!old.folder.isValid() || !old.file.isValid() || ::fstat(old.file.get(), &info) != 0 ||
        !S_ISREG(info.st_mode))
      return fail(QStringLiteral("cannot open the swap file %1: %2").arg(path, systemError()));
    oldFiles_.push_back(std::move(old));
  }
  return true;
}

bool SwapFileMove::isStillNamed(const QByteArray &name) {
  return isNamed(folder_.get(), name, file_.get()) ||
         fail(QStringLiteral("the swap file was replaced: ") + QFile::decodeName(name));
}

// A name for the open file that no one can redirect, for commands that take a path.
QString SwapFileMove::descriptorPath(int fd) const {
  return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd);
}

bool SwapFileMove::runCommand(const QString &program, const QString &argument, const QString &file,
                              int timeoutMs) {
  const CommandResult result = CommandRunner::run(program, {argument}, timeoutMs);
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
