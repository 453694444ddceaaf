#include "platform/storage/FileWalker.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
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

FileId idOf(const struct statx &info) {
  return {quint64(makedev(info.stx_dev_major, info.stx_dev_minor)), quint64(info.stx_ino)};
}

// The mount id of an open file as /proc/self/fdinfo tells it (the id of
// /proc/self/mountinfo), for kernels whose statx does not give it.
quint64 fdinfoMountId(int fd) {
  QFile info(QStringLiteral("/proc/self/fdinfo/%1").arg(fd));
  if (info.open(QIODevice::ReadOnly))
    for (const QByteArray &line : info.readAll().split('\n'))
      if (line.startsWith("mnt_id:"))
        return line.mid(7).trimmed().toULongLong();
  return 0;
}

// What fstatat gives, and the mount id, without following a link or
// triggering an automount. Name "" with AT_EMPTY_PATH is the folder itself.
bool statEntry(int dir, const char *name, int flags, struct statx &info, quint64 &mount) {
  if (::statx(dir, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_BASIC_STATS | STATX_MNT_ID, &info) != 0)
    return false;
  if (info.stx_mask & STATX_MNT_ID) {
    mount = info.stx_mnt_id;
  } else if (S_ISLNK(info.stx_mode)) {
    mount = 0; // a link is never followed: its mount does not matter
  } else {
    const int path = retryOpenAt(dir, *name ? name : ".", O_PATH | O_NOFOLLOW | O_CLOEXEC);
    mount = path < 0 ? 0 : fdinfoMountId(path);
    if (path >= 0)
      ::close(path);
  }
  return true;
}

quint64 mountOf(int fd) {
  struct statx info;
  quint64 mount = 0;
  return statEntry(fd, "", AT_EMPTY_PATH, info, mount) ? mount : 0;
}

qint64 nanoseconds(const statx_timestamp &time) {
  return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
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

// Every name of the folder fd, read at once so that the walk can go deeper
// before the folder is done. The walker's own descriptor is read directly:
// no second descriptor is opened for a directory stream.
bool listNames(int fd, std::vector<QByteArray> &names) {
  alignas(dirent64) char buffer[32 * 1024];
  for (;;) {
    ssize_t got;
    do {
      got = ::getdents64(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
      return got == 0;
    for (ssize_t at = 0; at < got;) {
      const auto *item = reinterpret_cast<const dirent64 *>(buffer + at);
      at += item->d_reclen;
      const char *name = item->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
        continue;
      names.emplace_back(name);
    }
  }
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
  if (path.contains('\0')) { // the kernel would end the path there
    errno = EINVAL;
    return UniqueFd();
  }
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

namespace {

// relative below the open folder root through no link and on root's mount
// only, opened with flags (which hold O_NOFOLLOW).
UniqueFd openBeneathWith(int root, const QByteArray &relative, int flags) {
  const QList<QByteArray> parts = relative.split('/');
  if (relative.contains('\0') || relative.startsWith('/') || parts.contains("..")) {
    errno = EINVAL;
    return UniqueFd();
  }
  open_how how = {};
  how.flags = quint64(flags);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS;
  const char *path = relative.isEmpty() ? "." : relative.constData();
  long fd;
  int tries = 0;
  do { // EAGAIN: a rename or mount elsewhere raced the lookup
    fd = ::syscall(SYS_openat2, root, path, &how, sizeof how);
  } while (fd < 0 && (errno == EINTR || (errno == EAGAIN && ++tries < 16)));
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
    return UniqueFd(int(fd));
  // Without openat2 (an old kernel, or a filter that forbids it): one
  // component at a time, none a link, each on root's mount.
  const quint64 mount = mountOf(root);
  UniqueFd current(retryOpenAt(root, ".", directoryFlags));
  for (int i = 0; i < parts.size() && current.isValid(); ++i) {
    const QByteArray &part = parts[i];
    if (part.isEmpty() || part == ".")
      continue;
    const bool last = i + 1 == parts.size();
    current.reset(
        retryOpenAt(current.get(), part.constData(), last ? flags : directoryFlags | O_NOFOLLOW));
    if (current.isValid() && mountOf(current.get()) != mount) {
      current.reset();
      errno = EXDEV;
    }
  }
  return current;
}

} // namespace

UniqueFd FileWalker::openBeneath(int root, const QByteArray &relative) {
  return openBeneathWith(root, relative, directoryFlags | O_NOFOLLOW);
}

UniqueFd FileWalker::openFileBeneath(int root, const QByteArray &relative) {
  if (relative.isEmpty() || relative.endsWith('/')) {
    errno = EISDIR;
    return UniqueFd();
  }
  return openBeneathWith(root, relative, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
}

bool FileWalker::walk(int root, const EnterFn &enter, const LeaveFn &leave) {
  stopped_ = false;
  if (onPseudoFileSystem(root))
    return false;
  struct statx rootStatus;
  quint64 rootMount = 0;
  if (!statEntry(root, "", AT_EMPTY_PATH, rootStatus, rootMount) || !S_ISDIR(rootStatus.stx_mode))
    return false;
  const FileId rootId = idOf(rootStatus);
  bool complete = true;

  std::vector<Level> levels;
  levels.emplace_back();
  levels.back().fd.reset(retryOpenAt(root, ".", directoryFlags));
  levels.back().id = rootId;
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
    entry.name = std::move(level.names[level.next++]);
    entry.depth = int(levels.size());
    struct statx status;
    quint64 mount = 0;
    if (!statEntry(entry.parentFd, entry.name.constData(), 0, status, mount)) {
      if (errno != ENOENT) // gone since it was listed: nothing to report
        complete = false;
      continue;
    }
    entry.type = typeOf(status.stx_mode);
    entry.size = qint64(status.stx_size);
    entry.allocated = qint64(status.stx_blocks) * 512;
    entry.id = idOf(status);
    entry.linkCount = status.stx_nlink;
    entry.mode = status.stx_mode;
    entry.owner = status.stx_uid;
    entry.modifiedSecs = status.stx_mtime.tv_sec;
    entry.modifiedNs = nanoseconds(status.stx_mtime);
    entry.changedNs = nanoseconds(status.stx_ctime);
    entry.otherFileSystem =
        entry.type != EntryType::Link && (entry.id.device != rootId.device || mount != rootMount);

    const Action action = enter(entry);
    if (action == Action::Stop) {
      stopped_ = true;
      break;
    }
    if (entry.type != EntryType::Directory || action == Action::Skip)
      continue;

    Level child;
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
    child.self = std::move(entry);
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
  struct statx status;
  quint64 mount = 0;
  if (!statEntry(parent, name.constData(), 0, status, mount))
    return errno == ENOENT;
  if (!S_ISDIR(status.stx_mode))
    return ::unlinkat(parent, name.constData(), 0) == 0 || errno == ENOENT;
  if (mount != mountOf(parent))
    return false; // a mount point: what is mounted there is not ours to remove
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
