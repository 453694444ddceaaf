#pragma once
// The one walker over user files: the scans, folder removal, measuring and
// cleaning, hashing and the installer's copy all go through it, so one set of
// rules holds everywhere:
//
// - Everything is relative to directory descriptors (openat, fstatat,
//   unlinkat): depth is not limited by PATH_MAX, and a folder renamed while
//   it is walked cannot lead the walk elsewhere. Only a few descriptors stay
//   open however deep the tree; a folder left is found again through ".." and
//   checked by device and inode.
// - A symbolic link is reported as a link and never followed.
// - A walk stays on the mount of its root (as find -xdev, and more): a mount
//   point is known by its mount id, so a bind mount from the same disk is a
//   boundary too. A root on a pseudo file system (proc, sysfs, cgroup,
//   debugfs, devtmpfs...) is refused.
// - Memory is linear in the entries of the open folders: no path is kept per
//   level, and a caller that wants one builds it from the names.
// - Names are bytes (see FileName.h for their text form).
// - Regular files are read through ReadOnlyFile only, which opens them
//   non-blocking, checks them with fstat and never reads past their size.
// - Hard links are visible as one (device, inode): callers that count or
//   group files key them by FileId.
//
// Paths handed in may be of any length; intermediate components resolve as
// usual (a linked home folder works), the last component is never followed.
// A path holding a NUL byte names nothing and is refused (EINVAL). Below a
// folder resolved once, openBeneath follows no link at all.
#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <sys/stat.h>

// An owned file descriptor, closed when the object goes.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept;
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;

  int get() const { return fd_; }
  bool isValid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);

private:
  int fd_ = -1;
};

// A file's identity: the same for every hard link to it.
struct FileId {
  quint64 device = 0;
  quint64 inode = 0;
  static FileId of(const struct stat &status) {
    return {quint64(status.st_dev), quint64(status.st_ino)};
  }
  bool operator==(const FileId &other) const {
    return device == other.device && inode == other.inode;
  }
};
inline uint qHash(const FileId &id, uint seed = 0) {
  return ::qHash(id.inode, seed) ^ ::qHash(id.device, seed + 1);
}

enum class EntryType {
  File,      // regular file
  Directory, // folder
  Link,      // symbolic link, whatever it points at
  Other      // FIFO, socket, character or block device: never opened
};

// One entry as the walker met it, from fstatat without following links.
struct WalkEntry {
  int parentFd = -1; // the folder holding the entry; valid during the callback only
  QByteArray name;   // the entry's name in that folder
  int depth = 1;     // 1 for the root's own entries
  EntryType type = EntryType::Other;
  qint64 size = 0;      // st_size: bytes of a file, length of a link's target
  qint64 allocated = 0; // st_blocks * 512: the space it holds on disk
  FileId id;
  quint32 linkCount = 1; // st_nlink
  quint32 mode = 0;      // st_mode
  quint32 owner = 0;     // st_uid
  qint64 modifiedSecs = 0;
  qint64 modifiedNs = 0; // the same time to the nanosecond the file system keeps
  // The last change of content or status (ctime), in nanoseconds: a write
  // moves it, and unlike the modification time no one can set it back.
  qint64 changedNs = 0;
  // On another mount than the root (a mount point, also a bind mount from
  // the same disk, or a file mounted over): reported, never entered.
  bool otherFileSystem = false;
};

class FileWalker {
public:
  enum class Action {
    Continue, // go on; a folder is entered
    Skip,     // go on, but do not enter this folder
    Stop      // end the walk now
  };
  // Called for every entry, a folder before its content.
  using EnterFn = std::function<Action(const WalkEntry &)>;
  // Called for every folder that enter let in, after its content (or after
  // failing to list it), with the same entry: where a folder is removed.
  using LeaveFn = std::function<Action(const WalkEntry &)>;

  // Entries of the folder root (an open directory descriptor, not taken
  // over), each folder's content in the order the file system lists it,
  // depth first. leave may be null. Returns false when the root sits on a
  // pseudo file system, when any folder could not be listed or entered, or
  // when a folder was moved so that the walk could not find its way back;
  // the rest is walked all the same. A Stop or a set stop flag ends the walk
  // early; stopped() tells.
  bool walk(int root, const EnterFn &enter, const LeaveFn &leave = nullptr);

  void setStopFlag(const std::atomic<bool> *stop) { stop_ = stop; }
  bool stopped() const { return stopped_; }

  // Opens a folder by path for walking, read-only. With followLink false a
  // link as last component fails (ELOOP). -1 with errno on failure.
  static UniqueFd openDirectory(const QByteArray &path, bool followLink);
  // Opens the folder that holds the last component of path and gives that
  // component's name ("" for "/"; "." and ".." are refused with EINVAL).
  static UniqueFd openParent(const QByteArray &path, QByteArray &name);
  // Opens the folder relative below the open folder root ("" is root
  // itself) through no link and on root's mount only (openat2 with
  // RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV, else step by
  // step with O_NOFOLLOW). "..", an absolute path and NUL are refused.
  static UniqueFd openBeneath(int root, const QByteArray &relative);
  // The same for a file to read (non-blocking, see ReadOnlyFile): one call
  // however deep it lies, and no folder on the way is opened.
  static UniqueFd openFileBeneath(int root, const QByteArray &relative);
  // Whether the open file or folder fd lies on a pseudo file system.
  static bool onPseudoFileSystem(int fd);

  // Deletes the entry: a folder with rmdir (it must be empty by then; call
  // from leave), anything else with unlink (a link, never its target).
  static bool removeEntry(const WalkEntry &entry);
  // Deletes name in folder parent and, for a folder, everything below it,
  // never following a link and never leaving the file system. Goes on past
  // what it cannot delete; true when nothing is left. A missing name is true.
  static bool removeTree(int parent, const QByteArray &name);

private:
  const std::atomic<bool> *stop_ = nullptr;
  bool stopped_ = false;
};
