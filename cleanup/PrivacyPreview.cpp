#include "cleanup/PrivacyPreview.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/CleanerRunner.h"
#include "cleanup/PrivacyLocations.h"
#include "cleanup/PrivacyRoots.h"
#include "cleanup/PrivacyTree.h"
#include "cleanup/RecentList.h"
#include "cleanup/TempFileRules.h"

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
        PrivacyTree::forEachFile(folder.get(), target.path, rules,
                                 [&](const WalkEntry &entry, const std::function<QString()> &path) {
                                   if (!seen.contains(entry.id)) {
                                     seen.insert(entry.id);
                                     files.offer(entry.size, path);
                                   }
                                 });
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
    const CleanerPreview preview = CleanerRunner().preview(*cleaner, true);
    for (const CleanerFile &file : preview.files)
      files.offer(file.size, [&] { return file.path; });
    return files.text({{"command", preview.command}, {"note", preview.note}});
  }
  if (cleaner)
    CleanerRunner().preview(*cleaner, false,
                            [&](const WalkEntry &entry, const std::function<QString()> &path) {
                              files.offer(entry.size, path);
                            });
  return files.text();
}
