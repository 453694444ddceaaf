#include "platform/storage/FileCopy.h"

#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"
#include "platform/storage/PartialFiles.h"
#include "platform/storage/ReadOnlyFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString errnoText(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// Exactly size bytes of input into output: in the kernel where the file
// system allows it, else by reads and writes. False (errno set) on an error
// or when the input ends early.
bool copyBytes(ReadOnlyFile &input, int output, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    const ssize_t moved = ::copy_file_range(input.handle(), nullptr, output, nullptr,
                                            size_t(std::min<qint64>(size - done, 1 << 30)), 0);
    if (moved > 0) {
      done += moved;
      continue;
    }
    if (moved == 0)
      break;
    if (errno == EINTR)
      continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      return false;
    break;
  }
  if (done == size)
    return true;
  std::vector<char> buffer(1 << 16);
  while (done < size) {
    const ssize_t got = ::pread(input.handle(), buffer.data(),
                                size_t(std::min<qint64>(size - done, qint64(buffer.size()))), done);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    if (got == 0) {
      errno = EIO; // shorter than it was when opened
      return false;
    }
    for (qint64 written = 0; written < got;) {
      const ssize_t put = ::write(output, buffer.data() + written, size_t(got - written));
      if (put < 0) {
        if (errno == EINTR)
          continue;
        return false;
      }
      written += put;
    }
    done += got;
  }
  return true;
}

} // namespace

FileCopy::Result FileCopy::fail(Result result, const QString &reason) {
  reason_ = reason;
  return result;
}

FileCopy::Result FileCopy::copy(const QString &source, const QString &destination) {
  reason_.clear();
  destinationExisted_ = false;
  QByteArray sourceName;
  const UniqueFd sourceFolder = FileWalker::openParent(FileName::toBytes(source), sourceName);
  struct stat from;
  if (!sourceFolder.isValid() ||
      ::fstatat(sourceFolder.get(), sourceName.isEmpty() ? "." : sourceName.constData(), &from,
                AT_SYMLINK_NOFOLLOW) != 0)
    return fail(Result::SourceMissing, errnoText(errno));
  const bool link = S_ISLNK(from.st_mode) && copyLinks;
  if (!link && !S_ISREG(from.st_mode))
    return fail(Result::SourceNotCopyable, S_ISDIR(from.st_mode)
                                               ? QStringLiteral("it is a folder")
                                               : QStringLiteral("it is not a regular file"));

  QByteArray name;
  const UniqueFd folder = FileWalker::openParent(FileName::toBytes(destination), name);
  if (!folder.isValid() || name.isEmpty())
    return fail(Result::Failed, QStringLiteral("the folder of the destination does not exist"));
  struct stat to;
  const bool exists = ::fstatat(folder.get(), name.constData(), &to, AT_SYMLINK_NOFOLLOW) == 0;
  destinationExisted_ = exists;
  if (exists) {
    if (FileId::of(from) == FileId::of(to))
      return fail(Result::SameFile, QStringLiteral("source and destination are the same file"));
    if (!overwrite)
      return fail(Result::DestinationExists, QStringLiteral("the destination exists"));
    struct stat target;
    const bool replaceable = S_ISREG(to.st_mode) ||
                             (S_ISLNK(to.st_mode) &&
                              (link || ::fstatat(folder.get(), name.constData(), &target, 0) != 0 ||
                               S_ISREG(target.st_mode)));
    if (!replaceable)
      return fail(Result::DestinationNotReplaceable,
                  S_ISDIR(to.st_mode) ? QStringLiteral("the destination is a folder")
                                      : QStringLiteral("the destination is not a regular file"));
  }

  // The new content under a temporary name; what a killed copy of the same
  // file left there goes first.
  PartialFiles::removeStale(folder.get(), name);
  QByteArray temporary;
  if (link) {
    QByteArray target(int(from.st_size) + 1, Qt::Uninitialized);
    const ssize_t length = ::readlinkat(sourceFolder.get(), sourceName.constData(), target.data(),
                                        size_t(target.size()));
    if (length < 0 || length >= target.size())
      return fail(Result::Failed, errnoText(length < 0 ? errno : EAGAIN));
    target.truncate(int(length));
    for (int attempt = 0;; ++attempt) {
      temporary = PartialFiles::nameFor(name);
      if (::symlinkat(target.constData(), folder.get(), temporary.constData()) == 0)
        break;
      if (errno != EEXIST || attempt > 20)
        return fail(exists ? Result::DestinationNotReplaceable : Result::Failed, errnoText(errno));
    }
  } else {
    ReadOnlyFile input(sourceFolder.get(), sourceName);
    if (!input.isOpen())
      return fail(Result::Failed, errnoText(input.error()));
    if (!(input.id() == FileId::of(from)))
      return fail(Result::Failed, QStringLiteral("the source changed while it was copied"));
    int output = -1;
    for (int attempt = 0; output < 0; ++attempt) {
      temporary = PartialFiles::nameFor(name);
      output = ::openat(folder.get(), temporary.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
      if (output < 0 && (errno != EEXIST || attempt > 20))
        return fail(exists ? Result::DestinationNotReplaceable : Result::Failed, errnoText(errno));
    }
    const UniqueFd written(output);
    const bool copied =
        PartialFiles::markInUse(output) && copyBytes(input, output, input.size()) &&
        ::fchmod(output, from.st_mode & 07777) == 0 &&
        (!exists || ::fdatasync(output) == 0); // the old content goes only for the new

    const int error = errno;
    if (!copied) {
      ::unlinkat(folder.get(), temporary.constData(), 0);
      return fail(Result::Failed, errnoText(error));
    }
  }

  // Then in its place, in one step.
  int renamed;
  if (overwrite) {
    renamed = ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData());
  } else {
    renamed = ::renameat2(folder.get(), temporary.constData(), folder.get(), name.constData(),
                          RENAME_NOREPLACE);
    if (renamed != 0 && errno == EINVAL) { // no RENAME_NOREPLACE here: a hard link never replaces
      renamed = ::linkat(folder.get(), temporary.constData(), folder.get(), name.constData(), 0);
      if (renamed == 0)
        ::unlinkat(folder.get(), temporary.constData(), 0);
    }
  }
  if (renamed != 0) {
    const int error = errno;
    ::unlinkat(folder.get(), temporary.constData(), 0);
    return fail(error == EEXIST ? Result::DestinationExists : Result::DestinationNotReplaceable,
                errnoText(error));
  }
  return Result::Copied;
}
