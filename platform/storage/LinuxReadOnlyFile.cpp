#include "platform/storage/ReadOnlyFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// Non-blocking, so a file swapped for a pipe after it was listed cannot hang the reader.
ReadOnlyFile::ReadOnlyFile(const QString &path)
    : handle_(open(QFile::encodeName(path).constData(),
                   O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}

ReadOnlyFile::~ReadOnlyFile() {
  if (handle_ >= 0)
    close(handle_);
}

qint64 ReadOnlyFile::read(char *buffer, qint64 size) {
  ssize_t got;
  do {
    got = ::read(handle_, buffer, size_t(size));
  } while (got < 0 && errno == EINTR);
  return got;
}
