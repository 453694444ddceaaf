#include "disk/ShownFiles.h"

ShownFiles &ShownFiles::largeFiles() {
  static ShownFiles *shown = new ShownFiles; // never destroyed: workers may end after exit begins
  return *shown;
}

ShownFiles &ShownFiles::duplicates() {
  static ShownFiles *shown = new ShownFiles;
  return *shown;
}

ShownFiles &ShownFiles::spaceMap() {
  static ShownFiles *shown = new ShownFiles;
  return *shown;
}

void ShownFiles::add(const FileRecord &record, const QByteArray &digest) {
  add(record.path, {record.id, record.folder, record.size, record.modifiedNs, digest});
}

void ShownFiles::add(const QString &path, const Entry &entry) {
  const std::lock_guard<std::mutex> lock(mutex_);
  entries_.insert(path, entry);
}

bool ShownFiles::find(const QString &path, Entry &entry) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = entries_.constFind(path);
  if (found == entries_.constEnd())
    return false;
  entry = *found;
  return true;
}

void ShownFiles::remove(const QString &path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  entries_.remove(path);
}
