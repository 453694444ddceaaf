#include "cleanup/PrivacyTree.h"

#include <QList>

#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/EntryRules.h"
#include "platform/storage/FileName.h"

namespace {

UniqueFd openChildFolder(int parent, const char *name) {
  return FileWalker::openBeneath(parent, name);
}

// The names in an open folder, "." and ".." left out.
QList<QByteArray> names(int folder) {
  QList<QByteArray> all;
  const int copy = fcntl(folder, F_DUPFD_CLOEXEC, 0);
  if (copy < 0)
    return all;
  DIR *dir = fdopendir(copy);
  if (!dir) {
    close(copy);
    return all;
  }
  rewinddir(dir);
  while (const dirent *entry = readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (name != "." && name != "..")
      all.append(name);
  }
  closedir(dir);
  return all;
}

bool exists(int folder, const QByteArray &name) {
  struct stat info;
  return fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

void count(CleanCount &result, bool removed) {
  ++(removed ? result.deleted : result.failed);
}

// Removes every entry of a folder, each as one entry of the count.
void removeAll(int folder, CleanCount &result) {
  for (const QByteArray &name : names(folder))
    count(result, FileWalker::removeTree(folder, name));
}

} // namespace

namespace PrivacyTree {

qint64 measure(int folder, QSet<FileId> &seen, const EntryRules *rules) {
  qint64 bytes = 0;
  FileWalker walker;
  walker.walk(folder, [&](const WalkEntry &entry) {
    if (entry.type == EntryType::Directory)
      return !rules || rules->mayEnter(entry) ? FileWalker::Action::Continue
                                              : FileWalker::Action::Skip;
    if (entry.type == EntryType::File && !entry.otherFileSystem &&
        (!rules || rules->mayDelete(entry)) && !seen.contains(entry.id)) {
      seen.insert(entry.id);
      bytes += entry.size;
    }
    return FileWalker::Action::Continue;
  });
  return bytes;
}

void forEachFile(int folder, const QString &folderPath, const EntryRules *rules,
                 const FoundFile &found) {
  std::vector<QByteArray> names; // by depth: the folders on the way to the entry
  FileWalker walker;
  walker.walk(folder, [&](const WalkEntry &entry) {
    if (entry.otherFileSystem)
      return FileWalker::Action::Skip;
    names.resize(size_t(entry.depth - 1));
    if (entry.type == EntryType::Directory) {
      if (rules && !rules->mayEnter(entry))
        return FileWalker::Action::Skip;
      names.push_back(entry.name);
      return FileWalker::Action::Continue;
    }
    if (entry.type == EntryType::File && (!rules || rules->mayDelete(entry)))
      found(entry, [&] {
        QByteArray path = FileName::toBytes(folderPath);
        for (const QByteArray &name : names)
          path += '/' + name;
        return FileName::fromBytes(path + '/' + entry.name);
      });
    return FileWalker::Action::Continue;
  });
}

CleanCount empty(int folder, const EntryRules *rules) {
  CleanCount result;
  FileWalker walker;
  const auto enter = [&](const WalkEntry &entry) {
    if (entry.type == EntryType::Directory) {
      // A volume mounted inside is not ours to empty.
      if (entry.otherFileSystem || (rules && !rules->mayEnter(entry)))
        return FileWalker::Action::Skip;
      return FileWalker::Action::Continue;
    }
    if (!rules || rules->mayDelete(entry))
      count(result, FileWalker::removeEntry(entry));
    return FileWalker::Action::Continue;
  };
  const auto leave = [&](const WalkEntry &entry) {
    if (rules && !rules->mayDelete(entry))
      return FileWalker::Action::Continue;
    if (FileWalker::removeEntry(entry))
      ++result.deleted;
    else if (!rules || (errno != ENOTEMPTY && errno != EEXIST))
      ++result.failed; // a temporary folder holding what the rules keep stays quietly
    return FileWalker::Action::Continue;
  };
  walker.walk(folder, enter, leave);
  return result;
}

CleanCount emptyTrash(int trash) {
  CleanCount result;
  const UniqueFd files = openChildFolder(trash, "files");
  const UniqueFd info = openChildFolder(trash, "info");
  if (files.isValid()) {
    for (const QByteArray &name : names(files.get())) {
      // The info file goes only after its item: a failed item stays listed
      // and can still be restored.
      const bool removed = FileWalker::removeTree(files.get(), name);
      if (removed && info.isValid()) {
        const QByteArray infoName = name + ".trashinfo";
        if (unlinkat(info.get(), infoName.constData(), 0) != 0 && errno != ENOENT)
          ++result.failed;
      }
      count(result, removed);
    }
  }
  if (info.isValid()) {
    for (const QByteArray &name : names(info.get())) {
      if (!name.endsWith(".trashinfo"))
        continue;
      const QByteArray item = name.left(name.size() - int(qstrlen(".trashinfo")));
      if (!files.isValid() || !exists(files.get(), item))
        count(result, unlinkat(info.get(), name.constData(), 0) == 0 || errno == ENOENT);
    }
  }
  const UniqueFd expunged = openChildFolder(trash, "expunged");
  if (expunged.isValid())
    removeAll(expunged.get(), result);
  if (unlinkat(trash, "directorysizes", 0) != 0 && errno != ENOENT)
    ++result.failed;
  return result;
}

} // namespace PrivacyTree
