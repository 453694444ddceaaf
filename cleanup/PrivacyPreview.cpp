#include "cleanup/PrivacyPreview.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/PrivacyLocations.h"
#include "cleanup/PrivacyRoots.h"
#include "cleanup/RecentList.h"
#include "cleanup/SystemCleaners.h"
#include "cleanup/TempFileRules.h"
#include "platform/storage/FileName.h"

namespace {

struct ListedFile {
  qint64 size;
  QString path;
};

bool largerFirst(const ListedFile &a, const ListedFile &b) {
  return a.size != b.size ? a.size > b.size : a.path < b.path;
}

// Keeps the largest files met so far in a heap whose top is the smallest
// kept, so a cache of a million files costs the limit in memory.
class LargestFiles {
public:
  void offer(qint64 size, const std::function<QString()> &path) {
    ++count_;
    if (int(kept_.size()) == PrivacyPreview::listLimit && size <= kept_.front().size)
      return;
    kept_.push_back({size, path()});
    std::push_heap(kept_.begin(), kept_.end(), largerFirst);
    if (int(kept_.size()) > PrivacyPreview::listLimit) {
      std::pop_heap(kept_.begin(), kept_.end(), largerFirst);
      kept_.pop_back();
    }
  }

  // extra: keys of the answer besides "count" and "list".
  QString text(QJsonObject extra = {}) {
    std::sort(kept_.begin(), kept_.end(), largerFirst);
    QJsonArray list;
    for (const ListedFile &file : kept_)
      list.append(QJsonObject{{"path", file.path}, {"size", double(file.size)}});
    extra.insert("count", double(count_));
    extra.insert("list", list);
    return QString::fromUtf8(QJsonDocument(extra).toJson());
  }

private:
  std::vector<ListedFile> kept_;
  qint64 count_ = 0;
};

// The files beneath the open folder root, known as folder; each path is
// built from the names on the way down, only for the files kept.
void walk(int root, const QString &folder, const EntryRules *rules, QSet<FileId> &seen,
          LargestFiles &files) {
  std::vector<QByteArray> names; // by depth: the folders on the way to the entry
  FileWalker walker;
  walker.walk(root, [&](const WalkEntry &entry) {
    if (entry.otherFileSystem)
      return FileWalker::Action::Skip;
    names.resize(size_t(entry.depth - 1));
    if (entry.type == EntryType::Directory) {
      if (rules && !rules->mayEnter(entry))
        return FileWalker::Action::Skip;
      names.push_back(entry.name);
      return FileWalker::Action::Continue;
    }
    if (entry.type == EntryType::File && (!rules || rules->mayDelete(entry)) &&
        !seen.contains(entry.id)) {
      seen.insert(entry.id);
      files.offer(entry.size, [&] {
        QByteArray path = FileName::toBytes(folder);
        for (const QByteArray &name : names)
          path += '/' + name;
        return FileName::fromBytes(path + '/' + entry.name);
      });
    }
    return FileWalker::Action::Continue;
  });
}

} // namespace

QString PrivacyPreview::getPrivacyItemFiles(const QString &type) {
  LargestFiles files;
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  QSet<FileId> seen;
  const auto walkTargets = [&](const QVector<PrivacyTarget> &targets, const EntryRules *rules) {
    for (const PrivacyTarget &target : targets) {
      QByteArray name;
      const UniqueFd folder = roots.open(target, name);
      if (!folder.isValid())
        continue;
      if (target.action == CleanAction::ReplaceRecentList) {
        if (const qint64 bytes = recentListBytes(folder.get(), name); bytes > 0)
          files.offer(bytes, [&] { return target.path; });
      } else {
        walk(folder.get(), target.path, rules, seen, files);
      }
    }
  };
  for (const PrivacyCategory &category : privacyCategories()) {
    if (type != QLatin1String(category.type))
      continue;
    std::optional<TempFileRules> rules;
    if (category.source == PrivacySource::TempFiles)
      rules = TempFileRules::current(environment.uid);
    walkTargets(locatePrivacyCategory(category, environment).targets, rules ? &*rules : nullptr);
  }
  const AppCleaner *cleaner = AppCleanerDefinitions::find(type);
  if (cleaner && !cleaner->command.isEmpty()) {
    const SystemListing listing = SystemCleaners().list(cleaner->command);
    for (const SystemItem &item : listing.items)
      files.offer(item.size, [&] { return item.path; });
    return files.text({{"command", listing.command}, {"note", listing.note}});
  }
  if (cleaner) {
    const AppCleanerRules rules(*cleaner, qint64(time(nullptr)));
    walkTargets(cleaner->targets(environment), &rules);
  }
  return files.text();
}
