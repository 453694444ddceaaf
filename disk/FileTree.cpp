#include "disk/FileTree.h"

#include "disk/Parallel.h"
#include "platform/storage/FileName.h"

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace FileTree {

namespace {

bool passesFilter(const WalkEntry &entry) {
  if (entry.name.startsWith('.'))
    return false;
  if (entry.type == EntryType::File)
    return ::faccessat(entry.parentFd, entry.name.constData(), R_OK, 0) == 0;
  if (entry.type == EntryType::Directory)
    return !entry.otherFileSystem &&
           ::faccessat(entry.parentFd, entry.name.constData(), R_OK, 0) == 0;
  return false;
}

QString joined(const QString &folder, const QByteArray &relative) {
  const QString name = FileName::fromBytes(relative);
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

FileRecord recordOf(const QString &folder, const WalkEntry &entry) {
  FileRecord record;
  record.path = joined(folder, entry.relativePath);
  record.size = entry.size;
  record.modifiedSecs = entry.modifiedSecs;
  record.id = entry.id;
  return record;
}

// Walks the open folder root, whose path is folder.
void walkFolder(int root, const QString &folder, qint64 minimumSize, const std::atomic<bool> *stop,
                QVector<FileRecord> &records) {
  FileWalker walker;
  walker.setStopFlag(stop);
  walker.walk(root, [&](const WalkEntry &entry) {
    if (!passesFilter(entry))
      return FileWalker::Action::Skip;
    if (entry.type == EntryType::File && entry.size >= minimumSize)
      records.append(recordOf(folder, entry));
    return FileWalker::Action::Continue;
  });
}

} // namespace

QString directoryPath(const QString &folder) {
  if (folder.isEmpty())
    return QString();
  const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
  const UniqueFd fd = FileWalker::openDirectory(FileName::toBytes(absolute), true);
  return fd.isValid() ? absolute : QString();
}

void collect(const QString &directory, qint64 minimumSize, const std::atomic<bool> *stop,
             QVector<FileRecord> &records) {
  const UniqueFd root = FileWalker::openDirectory(FileName::toBytes(directory), true);
  if (root.isValid())
    walkFolder(root.get(), directory, minimumSize, stop, records);
}

void collectInParallel(const QString &directory, qint64 minimumSize, QVector<FileRecord> &records) {
  const UniqueFd root = FileWalker::openDirectory(FileName::toBytes(directory), true);
  if (!root.isValid())
    return;
  // The top level in order; each subfolder's files come in its place.
  struct Top {
    FileRecord file;
    QByteArray folder; // empty for a file
  };
  std::vector<Top> top;
  FileWalker walker;
  walker.walk(root.get(), [&](const WalkEntry &entry) {
    if (passesFilter(entry)) {
      if (entry.type == EntryType::Directory)
        top.push_back({FileRecord(), entry.name});
      else if (entry.size >= minimumSize)
        top.push_back({recordOf(directory, entry), QByteArray()});
    }
    return FileWalker::Action::Skip;
  });
  std::vector<int> subfolders;
  for (size_t i = 0; i < top.size(); ++i) {
    if (!top[i].folder.isEmpty())
      subfolders.push_back(int(i));
  }
  std::vector<QVector<FileRecord>> found(subfolders.size());
  Parallel::forEach(int(subfolders.size()), [&](int, int k) {
    const Top &item = top[size_t(subfolders[size_t(k)])];
    const UniqueFd folder(::openat(root.get(), item.folder.constData(),
                                   O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.isValid())
      walkFolder(folder.get(), joined(directory, item.folder), minimumSize, nullptr,
                 found[size_t(k)]);
  });
  size_t next = 0;
  for (const Top &item : top) {
    if (item.folder.isEmpty())
      records.append(item.file);
    else
      records += found[next++];
  }
}

bool listLevel(const QString &folder, const FileId *expected, qint64 minimumSize,
               const std::atomic<bool> &stop, QVector<FileRecord> &records,
               QVector<Subfolder> &subfolders) {
  const QString directory = expected ? folder : directoryPath(folder);
  if (directory.isEmpty())
    return true;
  const UniqueFd root = FileWalker::openDirectory(FileName::toBytes(directory), !expected);
  struct stat status;
  if (!root.isValid() || ::fstat(root.get(), &status) != 0 ||
      (expected && !(*expected == FileId{quint64(status.st_dev), quint64(status.st_ino)})))
    return true;
  QVector<Subfolder> found;
  FileWalker walker;
  walker.setStopFlag(&stop);
  walker.walk(root.get(), [&](const WalkEntry &entry) {
    if (passesFilter(entry)) {
      if (entry.type == EntryType::Directory)
        found.append({joined(directory, entry.name), entry.id});
      else if (entry.size >= minimumSize)
        records.append(recordOf(directory, entry));
    }
    return FileWalker::Action::Skip;
  });
  if (stop)
    return false;
  subfolders += found;
  return true;
}

} // namespace FileTree
