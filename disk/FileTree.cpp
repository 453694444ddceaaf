#include "disk/FileTree.h"

#include "disk/Parallel.h"
#include "platform/storage/FileName.h"

#include <QDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace FileTree {

namespace {

// A folder that cannot be read is not opened by the walker either, so only
// listings that keep files without opening them need the check. The owner's
// own read bit answers it for the owner (no access list applies to the
// owner), so only other people's files cost a call. A hidden entry left out
// that the scan would have looked at is counted, so the user can be told.
bool passesFilter(const WalkEntry &entry, const Filter &filter, FileList &files) {
  if (entry.otherFileSystem) // a mount point, bind mounts from the same disk included
    return false;
  if (entry.type != EntryType::File && entry.type != EntryType::Directory)
    return false;
  if (!filter.includeHidden && entry.name.startsWith('.')) {
    if (entry.type == EntryType::Directory || entry.size >= filter.minimumSize)
      files.countSkippedHidden(1);
    return false;
  }
  const Access access = filter.access;
  static const uid_t user = ::getuid();
  return access == Access::OpenedLater || (entry.owner == user && (entry.mode & S_IRUSR)) ||
         ::faccessat(entry.parentFd, entry.name.constData(), R_OK, 0) == 0;
}

// Walks the open folder root, known to files as folder.
void walkFolder(int root, int folder, const Filter &filter, const std::atomic<bool> *stop,
                FileList &files) {
  std::vector<int> folderAt{folder}; // by depth: the folder holding the entries one level down
  FileWalker walker;
  walker.setStopFlag(stop);
  walker.walk(root, [&](const WalkEntry &entry) {
    if (!passesFilter(entry, filter, files))
      return FileWalker::Action::Skip;
    const int parent = folderAt[size_t(entry.depth - 1)];
    if (entry.type == EntryType::Directory) {
      folderAt.resize(size_t(entry.depth));
      folderAt.push_back(files.addFolder(parent, entry.name, entry.id));
    } else if (entry.size >= filter.minimumSize) {
      files.addFile(parent, entry);
    }
    return FileWalker::Action::Continue;
  });
}

// The folder at path, opened as a walk begins there, and its identity.
UniqueFd openRoot(const QString &directory, bool followLink, FileId &id) {
  UniqueFd root = FileWalker::openDirectory(FileName::toBytes(directory), followLink);
  struct stat status;
  if (root.isValid() && ::fstat(root.get(), &status) != 0)
    root.reset();
  if (root.isValid())
    id = FileId::of(status);
  return root;
}

} // namespace

QString directoryPath(const QString &folder) {
  if (folder.isEmpty())
    return QString();
  const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
  const UniqueFd fd = FileWalker::openDirectory(FileName::toBytes(absolute), true);
  return fd.isValid() ? absolute : QString();
}

void collect(const QString &directory, const Filter &filter, const std::atomic<bool> *stop,
             FileList &files) {
  FileId id;
  const UniqueFd root = openRoot(directory, true, id);
  if (root.isValid())
    walkFolder(root.get(), files.addRoot(directory, id), filter, stop, files);
}

void collectInParallel(const QString &directory, const Filter &filter, FileList &files) {
  FileId rootId;
  const UniqueFd root = openRoot(directory, true, rootId);
  if (!root.isValid())
    return;
  // The top level in order; each subfolder's files come in its place.
  std::vector<WalkEntry> top;
  FileWalker walker;
  walker.walk(root.get(), [&](const WalkEntry &entry) {
    if (passesFilter(entry, filter, files) &&
        (entry.type == EntryType::Directory || entry.size >= filter.minimumSize))
      top.push_back(entry);
    return FileWalker::Action::Skip;
  });
  std::vector<int> subfolders;
  for (size_t i = 0; i < top.size(); ++i) {
    if (top[i].type == EntryType::Directory)
      subfolders.push_back(int(i));
  }
  std::vector<FileList> found(subfolders.size());
  Parallel::forEach(int(subfolders.size()), [&](int, int k) {
    const WalkEntry &item = top[size_t(subfolders[size_t(k)])];
    const UniqueFd folder(::openat(root.get(), item.name.constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    FileList &list = found[size_t(k)];
    if (folder.isValid())
      walkFolder(folder.get(), list.addFolder(list.addRoot(directory, rootId), item.name, item.id),
                 filter, nullptr, list);
  });
  const int rootFolder = files.addRoot(directory, rootId);
  size_t next = 0;
  for (const WalkEntry &item : top) {
    if (item.type == EntryType::Directory) {
      files.append(found[next]);
      found[next++] = FileList();
    } else {
      files.addFile(rootFolder, item);
    }
  }
  // The cores' own lists are gone; what they held goes back to the system
  // before the result text, the largest piece of a scan, is written.
  ::malloc_trim(0);
}

int addRoot(const QString &folder, FileList &files, UniqueFd &fd) {
  const QString directory = directoryPath(folder);
  FileId id;
  if (!directory.isEmpty())
    fd = openRoot(directory, true, id);
  return fd.isValid() ? files.addRoot(directory, id) : -1;
}

bool listLevel(int fd, int folder, const Filter &filter, const std::atomic<bool> &stop,
               FileList &files, QVector<int> &subfolders) {
  QVector<int> found;
  FileWalker walker;
  walker.setStopFlag(&stop);
  walker.walk(fd, [&](const WalkEntry &entry) {
    if (passesFilter(entry, filter, files)) {
      if (entry.type == EntryType::Directory)
        found.append(files.addFolder(folder, entry.name, entry.id));
      else if (entry.size >= filter.minimumSize)
        files.addFile(folder, entry);
    }
    return FileWalker::Action::Skip;
  });
  if (stop)
    return false;
  subfolders += found;
  return true;
}

} // namespace FileTree
