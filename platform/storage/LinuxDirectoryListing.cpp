#include "platform/storage/DirectoryListing.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isReadable(int dirFd, const char *name) {
  return faccessat(dirFd, name, R_OK, 0) == 0;
}

} // namespace

bool listDirectory(const QString &path, qint64 minimumFileSize, QVector<DirectoryEntry> &entries) {
  const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  DIR *dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  while (const dirent *item = readdir(dir)) {
    const char *name = item->d_name;
    if (name[0] == '.') // hidden, "." and ".."
      continue;
    unsigned char type = item->d_type;
    struct stat info;
    if (type == DT_UNKNOWN || type == DT_REG) {
      if (fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        continue;
      type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN;
      if (type == DT_REG && info.st_size < minimumFileSize)
        continue;
    }
    if ((type != DT_REG && type != DT_DIR) || !isReadable(fd, name))
      continue;
    DirectoryEntry entry;
    entry.name = QFile::decodeName(name);
    entry.isDir = type == DT_DIR;
    if (!entry.isDir) {
      entry.size = info.st_size;
      entry.modifiedSecs = info.st_mtim.tv_sec;
    }
    entries.append(entry);
  }
  closedir(dir);
  return true;
}
