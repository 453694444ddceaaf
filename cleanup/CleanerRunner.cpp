#include "cleanup/CleanerRunner.h"

#include <QHash>
#include <QSet>

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/PrivacyTree.h"
#include "cleanup/SystemCleaners.h"
#include "platform/storage/FileName.h"

namespace {

// A file named in an open folder, as the walker would have met it.
bool statFile(int folder, const QByteArray &name, WalkEntry &entry) {
  struct stat info;
  if (fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
    return false;
  entry.parentFd = folder;
  entry.name = name;
  entry.type = EntryType::File;
  entry.size = info.st_size;
  entry.id = FileId::of(info);
  entry.linkCount = quint32(info.st_nlink);
  entry.mode = info.st_mode;
  entry.owner = info.st_uid;
  entry.modifiedSecs = info.st_mtim.tv_sec;
  return true;
}

// Walks every target of the cleaner, giving each file its rules let go.
void eachFile(
    const AppCleaner &cleaner, const PrivacyEnvironment &environment, PrivacyRoots &roots,
    const EntryRules &rules,
    const std::function<void(const CleanerTarget &, int folder)> &folderTarget,
    const std::function<void(const WalkEntry &, const std::function<QString()> &)> &file) {
  for (const CleanerTarget &target : cleaner.targets(environment)) {
    QByteArray unused;
    const UniqueFd folder =
        roots.open(PrivacyTarget{target.folder, CleanAction::EmptyFolder, {}}, unused);
    if (!folder.isValid())
      continue;
    if (target.fileName.isEmpty()) {
      folderTarget(target, folder.get());
      continue;
    }
    WalkEntry entry;
    if (statFile(folder.get(), target.fileName, entry) && rules.mayDelete(entry))
      file(entry, [&] { return target.folder + '/' + FileName::fromBytes(target.fileName); });
  }
}

} // namespace

CleanerRunner::CleanerRunner()
    : environment_(PrivacyEnvironment::current()), roots_(environment_) {}

CleanerPreview CleanerRunner::preview(const AppCleaner &cleaner, bool withPaths,
                                      const PrivacyTree::FoundFile &found) {
  CleanerPreview result;
  if (!cleaner.command.isEmpty()) {
    const SystemListing listing = SystemCleaners().list(cleaner.command);
    result.absent = listing.absent;
    result.note = listing.note;
    if (listing.absent)
      result.skipped = listing.note;
    result.command = listing.command;
    result.bytes = listing.bytes();
    for (const SystemItem &item : listing.items)
      result.files.push_back({item.path, {}, item.size, 0, item.key});
    return result;
  }
  result.skipped = cleaner.inUse(environment_);
  if (!result.skipped.isEmpty())
    return result;
  const AppCleanerRules rules(cleaner, qint64(time(nullptr)), environment_.uid);
  QSet<FileId> seen;
  const auto listed = [&](const WalkEntry &entry, const std::function<QString()> &path) {
    // Only a file with other names can be met twice.
    if (entry.linkCount > 1) {
      if (seen.contains(entry.id))
        return;
      seen.insert(entry.id);
    }
    result.bytes += entry.size;
    result.files.push_back(
        {withPaths ? path() : QString(), entry.id, entry.size, entry.modifiedSecs, QString()});
    if (found)
      found(entry, path);
  };
  eachFile(
      cleaner, environment_, roots_, rules,
      [&](const CleanerTarget &target, int folder) {
        PrivacyTree::forEachFile(folder, target.folder, &rules, listed);
      },
      listed);
  return result;
}

CleanerOutcome CleanerRunner::clean(const AppCleaner &cleaner, const CleanerPreview &preview) {
  CleanerOutcome result;
  if (!cleaner.command.isEmpty()) {
    QStringList keys;
    for (const CleanerFile &file : preview.files)
      keys << file.key;
    const SystemCleanResult done = SystemCleaners().clean(cleaner.command, keys);
    result.deleted = done.removed;
    result.failed = done.left;
    // Nothing to clean is no failure; a refusal or a failed tool is.
    if (done.result != QLatin1String("cleaned") && done.result != QLatin1String("absent") &&
        done.left == 0)
      ++result.failed;
    result.freedBytes = done.freed;
    result.result = done.result;
    result.detail = done.detail;
    return result;
  }
  result.skipped = preview.skipped.isEmpty() ? cleaner.inUse(environment_) : preview.skipped;
  if (!result.skipped.isEmpty())
    return result;
  QHash<FileId, const CleanerFile *> listed;
  for (const CleanerFile &file : preview.files)
    listed.insert(file.id, &file);
  QSet<FileId> freed;
  const AppCleanerRules rules(cleaner, qint64(time(nullptr)), environment_.uid);
  // Every name of a listed file goes while it is unchanged: a hard link left
  // behind would keep its space.
  const auto removeListed = [&](const WalkEntry &entry, const std::function<bool()> &remove) {
    const CleanerFile *file = listed.value(entry.id);
    if (!file)
      return; // appeared since
    if (file->size != entry.size || file->modifiedSecs != entry.modifiedSecs) {
      ++result.changed;
      return;
    }
    if (!remove()) {
      ++result.failed;
      return;
    }
    ++result.deleted;
    if (!freed.contains(entry.id)) {
      freed.insert(entry.id);
      result.freedBytes += entry.size;
    }
  };
  eachFile(
      cleaner, environment_, roots_, rules,
      [&](const CleanerTarget &, int folder) {
        FileWalker walker;
        walker.walk(
            folder,
            [&](const WalkEntry &entry) {
              if (entry.type == EntryType::Directory)
                return entry.otherFileSystem || !rules.mayEnter(entry)
                           ? FileWalker::Action::Skip
                           : FileWalker::Action::Continue;
              if (entry.type == EntryType::File && rules.mayDelete(entry))
                removeListed(entry, [&] { return FileWalker::removeEntry(entry); });
              return FileWalker::Action::Continue;
            },
            [&](const WalkEntry &entry) {
              // A folder still holding what stays is left quietly.
              if (rules.mayDelete(entry) && !FileWalker::removeEntry(entry) && errno != ENOTEMPTY &&
                  errno != EEXIST)
                ++result.failed;
              return FileWalker::Action::Continue;
            });
      },
      [&](const WalkEntry &entry, const std::function<QString()> &) {
        removeListed(entry,
                     [&] { return unlinkat(entry.parentFd, entry.name.constData(), 0) == 0; });
      });
  return result;
}
