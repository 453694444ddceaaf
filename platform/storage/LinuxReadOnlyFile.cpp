#include "platform/storage/ReadOnlyFile.h"

#include "platform/storage/FileName.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReadOnlyFile::ReadOnlyFile(const QString &path) {
  const QByteArray bytes = FileName::toBytes(path);
  if (bytes.contains('\0')) { // the kernel would end the path there
    error_ = EINVAL;
    return;
  }
  if (bytes.size() < PATH_MAX && !bytes.isEmpty()) { // the kernel takes it whole
    open(AT_FDCWD, bytes.constData());
    return;
  }
  QByteArray name;
  const UniqueFd parent = FileWalker::openParent(bytes, name);
  if (!parent.isValid() || name.isEmpty()) {
    error_ = parent.isValid() ? EISDIR : errno;
    return;
  }
  open(parent.get(), name.constData());
}

ReadOnlyFile::ReadOnlyFile(int parentFd, const QByteArray &name) {
  open(parentFd, name.constData());
}

ReadOnlyFile::ReadOnlyFile(int parentFd, const char *name, const FileId &found, qint64 foundSize) {
  open(parentFd, name, &found, foundSize);
}

ReadOnlyFile::ReadOnlyFile(UniqueFd opened, const FileId &found, qint64 foundSize) {
  if (opened.isValid())
    adopt(std::move(opened), &found, foundSize);
  else
    error_ = errno;
}

void ReadOnlyFile::open(int parentFd, const char *name, const FileId *found, qint64 foundSize) {
  int fd;
  do {
    fd = ::openat(parentFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  adopt(UniqueFd(fd), found, foundSize);
}

void ReadOnlyFile::adopt(UniqueFd opened, const FileId *found, qint64 foundSize) {
  const int fd = opened.get();
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    error_ = errno;
    return;
  }
  if (!S_ISREG(status.st_mode)) {
    error_ = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return;
  }
  id_ = {quint64(status.st_dev), quint64(status.st_ino)};
  if (found) {
    if (!(id_ == *found) || status.st_size != foundSize) {
      error_ = ESTALE;
      return;
    }
    // Files of proc, sysfs and the like list a size that says nothing of
    // their content (0 for endless ones, 4096 for one byte).
  } else if (FileWalker::onPseudoFileSystem(fd)) {
    error_ = EINVAL;
    return;
  }
  size_ = status.st_size;
  fd_ = std::move(opened);
}

void ReadOnlyFile::limitTo(qint64 limit) {
  if (limit < size_)
    size_ = limit;
}

qint64 ReadOnlyFile::read(char *buffer, qint64 size) {
  if (!fd_.isValid())
    return -1;
  if (size > size_ - offset_)
    size = size_ - offset_;
  if (size <= 0)
    return 0;
  ssize_t got;
  do {
    got = ::read(fd_.get(), buffer, size_t(size));
  } while (got < 0 && errno == EINTR);
  if (got > 0)
    offset_ += got;
  return got;
}
