#include "platform/storage/Trash.h"

#include "platform/storage/FileName.h"
#include "platform/storage/TrustedFolder.h"

#include <QDateTime>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
const QByteArray infoSuffix = ".trashinfo";

// The mount an open file or folder lies on: the mount id where the kernel
// tells it, else the device.
bool mountOf(int fd, quint64 &mount, quint64 &device) {
  struct statx info;
  if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_MNT_ID,
              &info) != 0)
    return false;
  mount = (info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : 0;
  device = (quint64(info.stx_dev_major) << 32) | info.stx_dev_minor;
  return true;
}

bool sameMount(int a, int b) {
  quint64 mountA = 0, deviceA = 0, mountB = 0, deviceB = 0;
  return mountOf(a, mountA, deviceA) && mountOf(b, mountB, deviceB) && deviceA == deviceB &&
         mountA == mountB;
}

// The folder name in parent, made 0700 when missing; a folder of ours, not a link.
UniqueFd ownFolder(int parent, const char *name) {
  if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST)
    return UniqueFd();
  UniqueFd folder(::openat(parent, name, folderFlags));
  struct stat status;
  if (folder.isValid() && (::fstat(folder.get(), &status) != 0 || status.st_uid != ::geteuid())) {
    errno = EPERM;
    return UniqueFd();
  }
  return folder;
}

// A trash folder's "files" and "info" folders.
struct TrashFolder {
  UniqueFd files;
  UniqueFd info;
  bool open(int trash) {
    files = ownFolder(trash, "files");
    info = files.isValid() ? ownFolder(trash, "info") : UniqueFd();
    return info.isValid();
  }
};

bool openHomeTrash(TrashFolder &trash) {
  QByteArray dataHome = qgetenv("XDG_DATA_HOME");
  if (!dataHome.startsWith('/'))
    dataHome = qgetenv("HOME") + "/.local/share";
  QString error;
  const UniqueFd folder =
      TrustedFolder::openOrMake(FileName::fromBytes(dataHome + "/Trash"), error);
  return folder.isValid() && trash.open(folder.get());
}

// The top folder of the mount that holds folder: the last one on the way up
// through ".." still on that mount.
UniqueFd topOf(int folder) {
  UniqueFd top(::openat(folder, ".", folderFlags));
  struct stat here, above;
  while (top.isValid() && ::fstat(top.get(), &here) == 0) {
    UniqueFd up(::openat(top.get(), "..", folderFlags));
    if (!up.isValid() || ::fstat(up.get(), &above) != 0)
      return UniqueFd();
    if (FileId::of(above) == FileId::of(here) || !sameMount(up.get(), top.get()))
      return top;
    top = std::move(up);
  }
  return UniqueFd();
}

// $top/.Trash/$uid under a sticky .Trash that is not a link, else
// $top/.Trash-$uid.
bool openTopTrash(int top, TrashFolder &trash) {
  const QByteArray uid = QByteArray::number(::geteuid());
  struct stat shared;
  if (::fstatat(top, ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
      (shared.st_mode & S_ISVTX)) {
    const UniqueFd sharedFolder(::openat(top, ".Trash", folderFlags));
    struct stat opened;
    if (sharedFolder.isValid() && ::fstat(sharedFolder.get(), &opened) == 0 &&
        opened.st_ino == shared.st_ino && (opened.st_mode & S_ISVTX)) {
      const UniqueFd own = ownFolder(sharedFolder.get(), uid.constData());
      if (own.isValid() && trash.open(own.get()))
        return true;
    }
  }
  const UniqueFd own = ownFolder(top, (".Trash-" + uid).constData());
  return own.isValid() && trash.open(own.get());
}

// The name tried the n-th time, short enough for its info file's name.
QByteArray candidate(const QByteArray &name, int n) {
  const QByteArray number = n == 1 ? QByteArray() : "." + QByteArray::number(n);
  return name.left(NAME_MAX - infoSuffix.size() - number.size()) + number;
}

bool writeAll(int fd, const QByteArray &bytes) {
  qint64 done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    done += written;
  }
  return ::fsync(fd) == 0;
}

// The path of the folder holding the open folder, as the kernel resolved it.
QByteArray folderPath(int folder) {
  char target[PATH_MAX];
  const QByteArray link = "/proc/self/fd/" + QByteArray::number(folder);
  const ssize_t length = ::readlink(link.constData(), target, sizeof target);
  if (length <= 0 || size_t(length) >= sizeof target)
    return QByteArray();
  const QByteArray path(target, int(length));
  return path.left(path.lastIndexOf('/'));
}

QByteArray readSmall(int folder, const QByteArray &name) {
  const UniqueFd file(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  char buffer[PATH_MAX * 4];
  const ssize_t length = file.isValid() ? ::read(file.get(), buffer, sizeof buffer) : -1;
  return length > 0 ? QByteArray(buffer, int(length)) : QByteArray();
}

} // namespace

Trash::Restore Trash::restore(const Trashed &where, const FileId &file, int parent,
                              const QByteArray &name, const QByteArray &path) {
  const UniqueFd folder = FileWalker::openDirectory(where.folder, false);
  TrashFolder trash;
  if (!folder.isValid() || !trash.open(folder.get()))
    return errno == ENOENT ? Restore::NotInTrash : Restore::Failed;
  struct stat status;
  const QByteArray infoName = where.name + infoSuffix;
  if (::fstatat(trash.files.get(), where.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !(FileId::of(status) == file) ||
      !readSmall(trash.info.get(), infoName).contains("\nPath=" + encodedPath(path) + "\n"))
    return Restore::NotInTrash;
  if (::renameat2(trash.files.get(), where.name.constData(), parent, name.constData(),
                  RENAME_NOREPLACE) != 0)
    return errno == EEXIST ? Restore::Occupied : Restore::Failed;
  ::unlinkat(trash.info.get(), infoName.constData(), 0);
  return Restore::Restored;
}

QByteArray Trash::encodedPath(const QByteArray &path) {
  return path.toPercentEncoding("/");
}

int Trash::moveToTrash(int parent, const QByteArray &name, const QByteArray &path, Trashed *where) {
  if (!path.startsWith('/'))
    return EINVAL; // a relative Path= would name a place below the trash's top folder
  TrashFolder trash;
  if (!openHomeTrash(trash))
    return errno ? errno : EACCES;
  if (!sameMount(parent, trash.files.get())) {
    const UniqueFd top = topOf(parent);
    trash = TrashFolder();
    if (!top.isValid() || !openTopTrash(top.get(), trash))
      return errno ? errno : EACCES;
    if (!sameMount(parent, trash.files.get()))
      return EXDEV;
  }
  const QByteArray info =
      "[Trash Info]\nPath=" + encodedPath(path) + "\nDeletionDate=" +
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1() +
      "\n";
  for (int n = 1;; ++n) {
    const QByteArray trashed = candidate(name, n);
    const QByteArray infoName = trashed + infoSuffix;
    const UniqueFd infoFile(::openat(trash.info.get(), infoName.constData(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!infoFile.isValid() && errno == EEXIST)
      continue;
    if (!infoFile.isValid())
      return errno;
    int error = 0;
    if (!writeAll(infoFile.get(), info))
      error = errno ? errno : EIO;
    else if (::renameat2(parent, name.constData(), trash.files.get(), trashed.constData(),
                         RENAME_NOREPLACE) != 0)
      error = errno;
    if (error == 0) {
      if (where)
        *where = {folderPath(trash.info.get()), trashed};
      return 0;
    }
    ::unlinkat(trash.info.get(), infoName.constData(), 0);
    if (error != EEXIST) // else a stray entry in "files" holds that name
      return error;
  }
}
