#include "disk/FileTree.h"

#include "disk/Parallel.h"
#include "platform/storage/DirectoryListing.h"

#include <QFileInfo>

#include <vector>

namespace FileTree {

namespace {

QString childPath(const QString &folder, const QString &name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool stopped(const std::atomic<bool> *stop) {
  return stop && stop->load();
}

} // namespace

QString directoryPath(const QString &folder) {
  const QFileInfo info(folder);
  return info.isDir() ? info.absoluteFilePath() : QString();
}

void collect(const QString &directory, qint64 minimumSize, const std::atomic<bool> *stop,
             QVector<FileRecord> &records) {
  QVector<DirectoryEntry> entries;
  listDirectory(directory, minimumSize, entries);
  for (const DirectoryEntry &entry : entries) {
    if (stopped(stop))
      return;
    if (entry.isDir)
      collect(childPath(directory, entry.name), minimumSize, stop, records);
    else
      records.append({childPath(directory, entry.name), entry.size, entry.modifiedSecs});
  }
}

void collectInParallel(const QString &directory, qint64 minimumSize, QVector<FileRecord> &records) {
  QVector<DirectoryEntry> entries;
  listDirectory(directory, minimumSize, entries);
  QVector<int> subfolders;
  for (int i = 0; i < entries.size(); ++i) {
    if (entries[i].isDir)
      subfolders.append(i);
  }
  std::vector<QVector<FileRecord>> found(size_t(subfolders.size()));
  Parallel::forEach(subfolders.size(), [&](int, int k) {
    collect(childPath(directory, entries[subfolders[k]].name), minimumSize, nullptr,
            found[size_t(k)]);
  });
  size_t next = 0;
  for (const DirectoryEntry &entry : entries) {
    if (entry.isDir)
      records += found[next++];
    else
      records.append({childPath(directory, entry.name), entry.size, entry.modifiedSecs});
  }
}

bool listLevel(const QString &folder, qint64 minimumSize, const std::atomic<bool> &stop,
               QVector<FileRecord> &records, QStringList &subfolders) {
  const QString directory = directoryPath(folder);
  if (directory.isEmpty())
    return true;
  QVector<DirectoryEntry> entries;
  listDirectory(directory, minimumSize, entries);
  for (const DirectoryEntry &entry : entries) {
    if (stop)
      return false;
    if (!entry.isDir)
      records.append({childPath(directory, entry.name), entry.size, entry.modifiedSecs});
  }
  for (const DirectoryEntry &entry : entries) {
    if (stop)
      return false;
    if (entry.isDir)
      subfolders.append(childPath(folder, entry.name));
  }
  return !stop;
}

} // namespace FileTree
