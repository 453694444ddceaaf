#include "cleanup/PrivacyCleaner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <vector>

#include "base/log/Log.h"
#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/CleanerRunner.h"
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

// rules, when given, decide what goes below every folder of the location.
qint64 measure(const QVector<PrivacyTarget> &targets, const EntryRules *rules,
               PrivacyRoots &roots) {
  QSet<FileId> seen;
  qint64 bytes = 0;
  for (const PrivacyTarget &target : targets) {
    QByteArray name;
    const UniqueFd folder = roots.open(target, name);
    if (!folder.isValid())
      continue;
    if (target.action == CleanAction::ReplaceRecentList)
      bytes += recentListBytes(folder.get(), name);
    else
      bytes += PrivacyTree::measure(folder.get(), seen, rules);
  }
  return bytes;
}

void clean(const QVector<PrivacyTarget> &targets, const EntryRules *rules, PrivacyRoots &roots,
           TypeResult &result) {
  for (const PrivacyTarget &target : targets) {
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
    case CleanAction::EmptyFolder:
      result.count += PrivacyTree::empty(folder.get(), rules);
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

const EntryRules *rulesOrNone(const std::optional<TempFileRules> &rules) {
  return rules ? &*rules : nullptr;
}

// Cleans what the page named, each id once in the order first named, with
// clean(id, result) returning false for an id it does not know; logs per id
// what was deleted and what was not.
bool cleanNamed(const QString &ids, const char *what,
                const std::function<bool(const QString &, TypeResult &)> &cleanOne) {
  std::vector<TypeResult> results;
  for (const QJsonValue &element : QJsonDocument::fromJson(ids.toUtf8()).array()) {
    const QString id = element.toString();
    auto result = std::find_if(results.begin(), results.end(),
                               [&](const TypeResult &r) { return r.type == id; });
    TypeResult fresh{id, {}, 0};
    TypeResult &target = result == results.end() ? fresh : *result;
    if (cleanOne(id, target) && result == results.end())
      results.push_back(fresh);
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
  Log::info("NativeUtil", "clean {}. types={} success={}{}", what, ids.toStdString(), success,
            detail.toStdString());
  return success;
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
        {"size",
         double(measure(location.targets, rulesOrNone(rulesFor(category, environment)), roots))},
    });
  }
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool PrivacyCleaner::cleanPrivacyItems(const QString &types) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  return cleanNamed(types, "privacy items", [&](const QString &type, TypeResult &result) {
    const PrivacyCategory *category = findCategory(type);
    if (!category)
      return false;
    clean(locatePrivacyCategory(*category, environment).targets,
          rulesOrNone(rulesFor(*category, environment)), roots, result);
    return true;
  });
}

QString PrivacyCleaner::getCleaners() {
  CleanerRunner runner;
  QJsonArray list;
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed()) {
    const CleanerPreview preview = runner.preview(cleaner, false);
    list.append(QJsonObject{
        {"id", cleaner.id},
        {"application", cleaner.application},
        {"name", cleaner.name},
        {"description", cleaner.description},
        {"nameEn", cleaner.nameEn},
        {"descriptionEn", cleaner.descriptionEn},
        {"warning", cleaner.warning},
        {"safe", cleaner.safe},
        {"size", double(preview.bytes)},
        {"skipped", preview.skipped},
    });
  }
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool PrivacyCleaner::cleanCleaners(const QString &ids) {
  CleanerRunner runner;
  return cleanNamed(ids, "cleaners", [&](const QString &id, TypeResult &result) {
    const AppCleaner *cleaner = AppCleanerDefinitions::find(id);
    if (!cleaner)
      return false;
    const CleanerOutcome outcome = runner.clean(*cleaner, runner.preview(*cleaner, false));
    result.count += CleanCount{outcome.deleted, outcome.failed + outcome.changed};
    result.skipped += outcome.skipped.isEmpty() ? 0 : 1;
    return true;
  });
}
