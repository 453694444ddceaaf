#include "platform/storage/FileWalker.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <vector>

namespace {

// Folders deeper than this below the current one have their descriptor
// closed; they are found again through "..".
constexpr size_t openLevels = 24;
// Paths are opened in pieces of at most this many bytes, so any length works.
constexpr int pathPiece = 2048;

constexpr int directoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

int retryOpenAt(int dir, const char *name, int flags) {
  int fd;
  do {
    fd = ::openat(dir, name, flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

FileId idOf(const struct stat &info) {
  return {quint64(info.st_dev), quint64(info.st_ino)};
}

EntryType typeOf(mode_t mode) {
  if (S_ISREG(mode))
    return EntryType::File;
  if (S_ISDIR(mode))
    return EntryType::Directory;
  if (S_ISLNK(mode))
    return EntryType::Link;
  return EntryType::Other;
}

// devtmpfs reports tmpfs's magic number; the mount table tells them apart.
// It is read once: /dev is mounted at boot.
bool isDevtmpfs(dev_t device) {
  static const QSet<QByteArray> devices = [] {
    QSet<QByteArray> found;
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (mounts.open(QIODevice::ReadOnly)) {
      for (const QByteArray &line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const int separator = fields.indexOf("-");
        if (fields.size() > 2 && separator > 0 && separator + 1 < fields.size() &&
            fields[separator + 1] == "devtmpfs")
          found.insert(fields[2]);
      }
    }
    return found;
  }();
  return devices.contains(QByteArray::number(major(device)) + ':' +
                          QByteArray::number(minor(device)));
}

// Every name of the folder fd, read at once so that no directory stream
// stays open while the walk goes deeper.
bool listNames(int fd, std::vector<QByteArray> &names) {
  const int own = retryOpenAt(fd, ".", directoryFlags);
  if (own < 0)
    return false;
  DIR *dir = ::fdopendir(own);
  if (!dir) {
    ::close(own);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    const dirent *item = ::readdir(dir);
    if (!item) {
      ok = errno == 0;
      break;
    }
    const char *name = item->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
      continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  return ok;
}

struct Level {
  UniqueFd fd;
  FileId id;
  WalkEntry self; // the folder as its parent listed it (unused for the root)
  std::vector<QByteArray> names;
  size_t next = 0;
};

} // namespace

UniqueFd::~UniqueFd() {
  reset();
}

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept {
  if (this != &other)
    reset(other.release());
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = fd;
}

bool FileWalker::onPseudoFileSystem(int fd) {
  struct statfs info;
  if (::fstatfs(fd, &info) != 0)
    return true; // unknown: not walked
  switch (info.f_type) {
  case PROC_SUPER_MAGIC:
  case SYSFS_MAGIC:
  case CGROUP_SUPER_MAGIC:
  case CGROUP2_SUPER_MAGIC:
  case DEBUGFS_MAGIC:
  case TRACEFS_MAGIC:
  case SECURITYFS_MAGIC:
  case PSTOREFS_MAGIC:
  case BPF_FS_MAGIC:
  case DEVPTS_SUPER_MAGIC:
  case 0x19800202: // mqueue
  case EFIVARFS_MAGIC:
  case BINFMTFS_MAGIC:
  case SELINUX_MAGIC:
  case SMACK_MAGIC:
  case 0x62656570: // configfs
  case 0x65735543: // fusectl
    return true;
  case TMPFS_MAGIC: {
    struct stat status;
    return ::fstat(fd, &status) != 0 || isDevtmpfs(status.st_dev);
  }
  default:
    return false;
  }
}

UniqueFd FileWalker::openParent(const QByteArray &path, QByteArray &name) {
  QByteArray rest = path;
  while (rest.size() > 1 && rest.endsWith('/'))
    rest.chop(1);
  if (rest.isEmpty()) {
    errno = ENOENT;
    return UniqueFd();
  }
  const int slash = rest.lastIndexOf('/');
  name = rest.mid(slash + 1);
  if (name == "." || name == "..") {
    errno = EINVAL;
    return UniqueFd();
  }
  if (slash < 0)
    return UniqueFd(retryOpenAt(AT_FDCWD, ".", directoryFlags));
  QByteArray folder = rest.left(slash);
  if (folder.isEmpty())
    folder = "/";
  if (rest == "/")
    name.clear();
  // A folder part the kernel takes whole opens in one call; a longer one
  // piece by piece, each piece resolved as usual.
  if (folder.size() <= pathPiece)
    return UniqueFd(retryOpenAt(AT_FDCWD, folder.constData(), directoryFlags));
  UniqueFd current(retryOpenAt(AT_FDCWD, folder.startsWith('/') ? "/" : ".", directoryFlags));
  int start = folder.startsWith('/') ? 1 : 0;
  while (current.isValid() && start < folder.size()) {
    int end = folder.size();
    if (end - start > pathPiece) {
      end = folder.lastIndexOf('/', start + pathPiece);
      if (end <= start) { // one name longer than a piece: the kernel refuses it
        errno = ENAMETOOLONG;
        return UniqueFd();
      }
    }
    const QByteArray piece = folder.mid(start, end - start);
    if (!piece.isEmpty())
      current.reset(retryOpenAt(current.get(), piece.constData(), directoryFlags));
    start = end + 1;
  }
  return current;
}

UniqueFd FileWalker::openDirectory(const QByteArray &path, bool followLink) {
  QByteArray name;
  UniqueFd parent = openParent(path, name);
  if (!parent.isValid())
    return parent;
  if (name.isEmpty()) // the root folder
    return parent;
  return UniqueFd(
      retryOpenAt(parent.get(), name.constData(), directoryFlags | (followLink ? 0 : O_NOFOLLOW)));
}

bool FileWalker::walk(int root, const EnterFn &enter, const LeaveFn &leave) {
  stopped_ = false;
  if (onPseudoFileSystem(root))
    return false;
  struct stat rootStatus;
  if (::fstat(root, &rootStatus) != 0 || !S_ISDIR(rootStatus.st_mode))
    return false;
  const dev_t rootDevice = rootStatus.st_dev;
  bool complete = true;

  std::vector<Level> levels;
  levels.emplace_back();
  levels.back().fd.reset(retryOpenAt(root, ".", directoryFlags));
  levels.back().id = idOf(rootStatus);
  if (!levels.back().fd.isValid() || !listNames(levels.back().fd.get(), levels.back().names))
    complete = false;

  const auto stopNow = [this] {
    if (stop_ && stop_->load())
      stopped_ = true;
    return stopped_;
  };

  while (!levels.empty() && !stopNow()) {
    Level &level = levels.back();
    if (!level.fd.isValid() || level.next >= level.names.size()) {
      // Leave this folder: its parent's descriptor is needed again.
      Level done = std::move(levels.back());
      levels.pop_back();
      if (levels.empty())
        break;
      Level &parent = levels.back();
      if (!parent.fd.isValid()) {
        struct stat status;
        UniqueFd up(done.fd.isValid() ? retryOpenAt(done.fd.get(), "..", directoryFlags) : -1);
        if (!up.isValid() || ::fstat(up.get(), &status) != 0 || !(idOf(status) == parent.id))
          return false; // moved away while walked: going on could lead anywhere
        parent.fd = std::move(up);
      }
      done.fd.reset();
      done.self.parentFd = parent.fd.get();
      if (leave && leave(done.self) == Action::Stop)
        stopped_ = true;
      continue;
    }

    WalkEntry entry;
    entry.parentFd = level.fd.get();
    entry.name = level.names[level.next++];
    entry.depth = int(levels.size());
    entry.relativePath =
        levels.size() == 1 ? entry.name : level.self.relativePath + '/' + entry.name;
    struct stat status;
    if (::fstatat(entry.parentFd, entry.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) // gone since it was listed: nothing to report
        complete = false;
      continue;
    }
    entry.type = typeOf(status.st_mode);
    entry.size = status.st_size;
    entry.id = idOf(status);
    entry.linkCount = quint32(status.st_nlink);
    entry.mode = status.st_mode;
    entry.owner = status.st_uid;
    entry.modifiedSecs = status.st_mtim.tv_sec;
    entry.otherFileSystem = entry.type == EntryType::Directory && status.st_dev != rootDevice;

    const Action action = enter(entry);
    if (action == Action::Stop) {
      stopped_ = true;
      break;
    }
    if (entry.type != EntryType::Directory || action == Action::Skip)
      continue;

    Level child;
    child.self = entry;
    child.id = entry.id;
    if (!entry.otherFileSystem) {
      child.fd.reset(
          retryOpenAt(level.fd.get(), entry.name.constData(), directoryFlags | O_NOFOLLOW));
      struct stat opened;
      if (child.fd.isValid() &&
          (::fstat(child.fd.get(), &opened) != 0 || !(idOf(opened) == entry.id)))
        child.fd.reset(); // replaced since it was listed
      if (!child.fd.isValid() || !listNames(child.fd.get(), child.names)) {
        complete = false;
        child.names.clear();
      }
    }
    levels.push_back(std::move(child));
    if (levels.size() > openLevels)
      levels[levels.size() - openLevels - 1].fd.reset();
  }
  return complete;
}

bool FileWalker::removeEntry(const WalkEntry &entry) {
  return ::unlinkat(entry.parentFd, entry.name.constData(),
                    entry.type == EntryType::Directory ? AT_REMOVEDIR : 0) == 0 ||
         errno == ENOENT;
}

bool FileWalker::removeTree(int parent, const QByteArray &name) {
  struct stat status;
  if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT;
  if (!S_ISDIR(status.st_mode))
    return ::unlinkat(parent, name.constData(), 0) == 0 || errno == ENOENT;
  bool removed = true;
  UniqueFd folder(retryOpenAt(parent, name.constData(), directoryFlags | O_NOFOLLOW));
  struct stat opened;
  if (folder.isValid() && ::fstat(folder.get(), &opened) == 0 && idOf(opened) == idOf(status)) {
    FileWalker walker;
    const auto removeOne = [&removed](const WalkEntry &entry) {
      if (entry.type != EntryType::Directory && !removeEntry(entry))
        removed = false;
      return Action::Continue;
    };
    const auto removeFolder = [&removed](const WalkEntry &entry) {
      if (!removeEntry(entry))
        removed = false;
      return Action::Continue;
    };
    if (!walker.walk(folder.get(), removeOne, removeFolder))
      removed = false;
  }
  if (::unlinkat(parent, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
    removed = false;
  return removed;
}
