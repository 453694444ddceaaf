#include "cleanup/PrivacyCleaner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "base/log/Log.h"
#include "cleanup/PrivacyLocations.h"
#include "cleanup/PrivacyRoots.h"
#include "cleanup/PrivacyTree.h"
#include "cleanup/RecentList.h"
#include "cleanup/TempFileRules.h"

namespace {

const PrivacyCategory *findCategory(const QString &type) {
  for (const PrivacyCategory &category : privacyCategories())
    if (type == QLatin1String(category.type))
      return &category;
  return nullptr;
}

struct TypeResult {
  QString type;
  CleanCount count;
  int skipped = 0; // folders of a browser in use
};

qint64 measure(const PrivacyLocation &location, const std::optional<TempFileRules> &rules,
               PrivacyRoots &roots) {
  QSet<FileId> seen;
  qint64 bytes = 0;
  for (const PrivacyTarget &target : location.targets) {
    QByteArray name;
    const UniqueFd folder = roots.open(target, name);
    if (!folder.isValid())
      continue;
    if (target.action == CleanAction::ReplaceRecentList)
      bytes += recentListBytes(folder.get(), name);
    else
      bytes += PrivacyTree::measure(
          folder.get(), seen,
          target.action == CleanAction::EmptyTempFolder && rules ? &*rules : nullptr);
  }
  return bytes;
}

void clean(const PrivacyLocation &location, const std::optional<TempFileRules> &rules,
           PrivacyRoots &roots, TypeResult &result) {
  for (const PrivacyTarget &target : location.targets) {
    if (!target.lockedBy.isEmpty()) {
      Log::info("NativeUtil", "privacy item {} skipped: {} is in use by a running browser",
                target.path.toStdString(), target.lockedBy.toStdString());
      ++result.skipped;
      continue;
    }
    QByteArray name;
    const UniqueFd folder = roots.open(target, name);
    if (!folder.isValid()) {
      // Gone since it was found is nothing to clean; a link or a mount in
      // its place is what stayed.
      if (errno != ENOENT)
        ++result.count.failed;
      continue;
    }
    switch (target.action) {
    case CleanAction::ReplaceRecentList:
      result.count += emptyRecentList(folder.get(), name);
      break;
    case CleanAction::EmptyTempFolder:
      result.count += PrivacyTree::empty(folder.get(), rules ? &*rules : nullptr);
      break;
    case CleanAction::EmptyFolder:
      result.count += PrivacyTree::empty(folder.get(), nullptr);
      break;
    case CleanAction::EmptyTrash:
      result.count += PrivacyTree::emptyTrash(folder.get());
      break;
    }
  }
}

std::optional<TempFileRules> rulesFor(const PrivacyCategory &category,
                                      const PrivacyEnvironment &environment) {
  if (category.source != PrivacySource::TempFiles)
    return std::nullopt;
  return TempFileRules::current(environment.uid);
}

} // namespace

QString PrivacyCleaner::getPrivacyItems() {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  QJsonArray list;
  for (const PrivacyCategory &category : privacyCategories()) {
    const PrivacyLocation location = locatePrivacyCategory(category, environment);
    list.append(QJsonObject{
        {"type", QString::fromUtf8(category.type)},
        {"name", QString::fromUtf8(category.name)},
        {"description", QString::fromUtf8(category.description)},
        {"path", location.path},
        {"size", double(measure(location, rulesFor(category, environment), roots))},
    });
  }
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool PrivacyCleaner::cleanPrivacyItems(const QString &types) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  const QJsonDocument document = QJsonDocument::fromJson(types.toUtf8());
  std::vector<TypeResult> results; // one per type, in the order first named
  for (const QJsonValue &element : document.array()) {
    const PrivacyCategory *category = findCategory(element.toString());
    if (!category)
      continue;
    auto result = std::find_if(results.begin(), results.end(), [&](const TypeResult &r) {
      return r.type == QLatin1String(category->type);
    });
    if (result == results.end())
      result = results.insert(results.end(), TypeResult{QString::fromUtf8(category->type), {}, 0});
    clean(locatePrivacyCategory(*category, environment), rulesFor(*category, environment), roots,
          *result);
  }
  bool success = true;
  QStringList counts;
  for (const TypeResult &result : results) {
    success = success && result.count.failed == 0 && result.skipped == 0;
    QString text = QStringLiteral("%1: %2 deleted, %3 not deleted")
                       .arg(result.type)
                       .arg(result.count.deleted)
                       .arg(result.count.failed);
    if (result.skipped > 0)
      text += QStringLiteral(", %1 skipped in use").arg(result.skipped);
    counts << text;
  }
  const QString detail = counts.isEmpty() ? QString() : ' ' + counts.join(QStringLiteral("; "));
  Log::info("NativeUtil", "clean privacy items. types={} success={}{}", types.toStdString(),
            success, detail.toStdString());
  return success;
}
