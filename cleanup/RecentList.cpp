#include "cleanup/RecentList.h"

#include <QFile>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/storage/FileName.h"

namespace {

const char emptyList[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<xbel version=\"1.0\"\n"
                         "      xmlns:bookmark=\"http://www.freedesktop.org/standards/"
                         "desktop-bookmarks\"\n"
                         "      xmlns:mime=\"http://www.freedesktop.org/standards/"
                         "shared-mime-info\"\n"
                         "></xbel>\n";

bool listsAnything(const QByteArray &content) {
  QXmlStreamReader reader(content);
  while (!reader.atEnd()) {
    reader.readNext();
    if (reader.isStartElement() && reader.name() == QLatin1String("bookmark"))
      return true;
  }
  return reader.hasError();
}

bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0)
      return false;
    data += written;
    size -= size_t(written);
  }
  return true;
}

} // namespace

qint64 recentListBytes(const QString &path) {
  const int fd =
      open(FileName::toBytes(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return 0;
  struct stat info;
  QByteArray content;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    // Never past the listed size: a list that grows meanwhile is read in part.
    content.resize(int(qMin<qint64>(info.st_size, 64 * 1024 * 1024)));
    int filled = 0;
    ssize_t got = 0;
    while (filled < content.size() &&
           (got = read(fd, content.data() + filled, size_t(content.size() - filled))) > 0)
      filled += int(got);
    content.resize(filled);
  }
  close(fd);
  if (!S_ISREG(info.st_mode))
    return 0;
  return listsAnything(content) ? info.st_size : 0;
}

bool replaceWithEmptyRecentList(const QString &path) {
  QByteArray temporary = FileName::toBytes(path) + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC); // created with mode 0600
  if (fd < 0)
    return false;
  const bool written = writeAll(fd, emptyList, sizeof emptyList - 1) && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed ||
      rename(temporary.constData(), FileName::toBytes(path).constData()) != 0) {
    unlink(temporary.constData());
    return false;
  }
  return true;
}
