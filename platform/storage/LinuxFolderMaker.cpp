#include "platform/storage/FolderMaker.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/storage/FileWalker.h"

int FolderMaker::make(const QByteArray &path) {
  notFolder.clear();
  if (path.isEmpty())
    return ENOENT;
  QByteArray partial;
  for (const QByteArray &part : path.split('/')) {
    partial += part;
    if (!part.isEmpty() && part != "." && part != "..") {
      QByteArray name;
      const UniqueFd parent = FileWalker::openParent(partial, name);
      if (!parent.isValid())
        return errno;
      struct stat status {};
      if (::fstatat(parent.get(), name.constData(), &status, 0) == 0) {
        if (!S_ISDIR(status.st_mode)) {
          notFolder = partial;
          return ENOTDIR;
        }
      } else if (::mkdirat(parent.get(), name.constData(), 0777) != 0 && errno != EEXIST) {
        return errno;
      }
    }
    partial += '/';
  }
  return 0;
}
