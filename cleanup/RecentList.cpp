#include "cleanup/RecentList.h"

#include <QXmlStreamReader>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

qint64 recentListBytes(int folder, const QByteArray &name) {
  const int fd = openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return 0;
  struct stat info = {};
  QByteArray content;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (regular) {
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
  return regular && listsAnything(content) ? info.st_size : 0;
}

CleanCount emptyRecentList(int folder, const QByteArray &name) {
  CleanCount result;
  struct stat info;
  if (fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
    return result;
  const QByteArray temporary = name + ".XXXXXX";
  int fd = -1;
  QByteArray made;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    made = temporary;
    for (int i = made.size() - 6; i < made.size(); ++i)
      made[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
    fd = openat(folder, made.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0600);
    if (fd < 0 && errno != EEXIST)
      break;
  }
  if (fd < 0) {
    ++result.failed;
    return result;
  }
  const bool written = writeAll(fd, emptyList, sizeof emptyList - 1) && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed || renameat(folder, made.constData(), folder, name.constData()) != 0) {
    unlinkat(folder, made.constData(), 0);
    ++result.failed;
  } else {
    ++result.deleted;
  }
  return result;
}
