#include "cleanup/PrivacyPreview.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include "cleanup/PrivacyLocations.h"
#include "cleanup/RecentList.h"
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

  QString text() {
    std::sort(kept_.begin(), kept_.end(), largerFirst);
    QJsonArray list;
    for (const ListedFile &file : kept_)
      list.append(QJsonObject{{"path", file.path}, {"size", double(file.size)}});
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{"count", double(count_)}, {"list", list}}).toJson());
  }

private:
  std::vector<ListedFile> kept_;
  qint64 count_ = 0;
};

void walk(const QString &folder, const TempFileRules *rules, QSet<FileId> &seen,
          LargestFiles &files) {
  const UniqueFd root = FileWalker::openDirectory(FileName::toBytes(folder), false);
  if (!root.isValid())
    return;
  const QByteArray prefix = FileName::toBytes(folder) + '/';
  FileWalker walker;
  walker.walk(root.get(), [&](const WalkEntry &entry) {
    if (entry.type == EntryType::Directory)
      return !rules || rules->mayEnter(entry) ? FileWalker::Action::Continue
                                              : FileWalker::Action::Skip;
    if (entry.type == EntryType::File && (!rules || rules->mayDelete(entry)) &&
        !seen.contains(entry.id)) {
      seen.insert(entry.id);
      files.offer(entry.size, [&] { return FileName::fromBytes(prefix + entry.relativePath); });
    }
    return FileWalker::Action::Continue;
  });
}

} // namespace

QString PrivacyPreview::getPrivacyItemFiles(const QString &type) {
  LargestFiles files;
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  for (const PrivacyCategory &category : privacyCategories()) {
    if (type != QLatin1String(category.type))
      continue;
    std::optional<TempFileRules> rules;
    if (category.source == PrivacySource::TempFiles)
      rules = TempFileRules::current(environment.uid);
    QSet<FileId> seen;
    for (const PrivacyTarget &target : locatePrivacyCategory(category, environment).targets) {
      if (target.action == CleanAction::ReplaceRecentList) {
        if (const qint64 bytes = recentListBytes(target.path); bytes > 0)
          files.offer(bytes, [&] { return target.path; });
      } else {
        walk(target.path,
             target.action == CleanAction::EmptyTempFolder && rules ? &*rules : nullptr, seen,
             files);
      }
    }
  }
  return files.text();
}
