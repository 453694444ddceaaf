#include "cleanup/PrivacyCleaner.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "base/log/Log.h"
#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/CleanerRunner.h"
#include "cleanup/PrivacyLocations.h"
#include "cleanup/PrivacyRoots.h"
#include "cleanup/PrivacyTree.h"
#include "cleanup/RecentList.h"
#include "cleanup/SystemCleaners.h"
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

QJsonObject categoryRow(const PrivacyCategory &category, const PrivacyEnvironment &environment,
                        PrivacyRoots &roots) {
  const PrivacyLocation location = locatePrivacyCategory(category, environment);
  return QJsonObject{
      {"type", QString::fromUtf8(category.type)},
      {"name", QString::fromUtf8(category.name)},
      {"description", QString::fromUtf8(category.description)},
      {"path", location.path},
      {"size",
       double(measure(location.targets, rulesOrNone(rulesFor(category, environment)), roots))},
  };
}

// The keys of what each system cleaner's row last showed: cleaning removes
// those and nothing listed since.
std::mutex shownMutex;
QHash<QString, CleanerPreview> shownPreviews;

QJsonObject cleanerRow(const AppCleaner &cleaner, CleanerRunner &runner) {
  const CleanerPreview preview = runner.preview(cleaner, false);
  QJsonObject row{
      {"id", cleaner.id},
      {"application", cleaner.application},
      {"applicationEn", cleaner.applicationEn},
      {"name", cleaner.name},
      {"description", cleaner.description},
      {"nameEn", cleaner.nameEn},
      {"descriptionEn", cleaner.descriptionEn},
      {"warning", cleaner.warning},
      {"warningEn", cleaner.warningEn},
      {"safe", cleaner.safe},
      {"size", double(preview.bytes)},
      {"skipped", preview.skipped},
  };
  if (cleaner.command.isEmpty())
    return row;
  {
    std::lock_guard<std::mutex> lock(shownMutex);
    shownPreviews.insert(cleaner.id, preview);
  }
  row.insert("root", cleaner.needsRoot);
  row.insert("absent", preview.absent);
  row.insert("note", preview.note);
  return row;
}

// Cleans what the cleaner's row showed; listed now when no row showed it.
CleanerOutcome cleanSystem(const AppCleaner &cleaner, CleanerRunner &runner) {
  std::unique_lock<std::mutex> lock(shownMutex);
  const auto shown = shownPreviews.constFind(cleaner.id);
  const std::optional<CleanerPreview> preview =
      shown == shownPreviews.constEnd() ? std::nullopt : std::make_optional(*shown);
  lock.unlock();
  return runner.clean(cleaner, preview ? *preview : runner.preview(cleaner, false));
}

} // namespace

QString PrivacyCleaner::getPrivacyItems() {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  QJsonArray list;
  for (const PrivacyCategory &category : privacyCategories())
    list.append(categoryRow(category, environment, roots));
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
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed())
    list.append(cleanerRow(cleaner, runner));
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool PrivacyCleaner::cleanCleaners(const QString &ids) {
  CleanerRunner runner;
  return cleanNamed(ids, "cleaners", [&](const QString &id, TypeResult &result) {
    const AppCleaner *cleaner = AppCleanerDefinitions::find(id);
    if (!cleaner)
      return false;
    const CleanerOutcome outcome = cleaner->command.isEmpty()
                                       ? runner.clean(*cleaner, runner.preview(*cleaner, false))
                                       : cleanSystem(*cleaner, runner);
    result.count += CleanCount{outcome.deleted, outcome.failed + outcome.changed};
    result.skipped += outcome.skipped.isEmpty() ? 0 : 1;
    return true;
  });
}

void PrivacyCleaner::measureRows(const std::function<bool(const QJsonObject &)> &each) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  for (const PrivacyCategory &category : privacyCategories())
    if (!each(categoryRow(category, environment, roots)))
      return;
  CleanerRunner runner;
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed())
    if (!each(cleanerRow(cleaner, runner)))
      return;
}

QString PrivacyCleaner::cleanItems(const QString &ids) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  CleanerRunner runner;
  QJsonArray list;
  QStringList done;
  QStringList summary;
  for (const QJsonValue &element : QJsonDocument::fromJson(ids.toUtf8()).array()) {
    const QString id = element.toString();
    if (done.contains(id))
      continue;
    done << id;
    const PrivacyCategory *category = findCategory(id);
    const AppCleaner *cleaner = category ? nullptr : AppCleanerDefinitions::find(id);
    SystemCleanResult outcome;
    if (category) {
      // Freed is what the file system no longer holds of the item's files.
      const std::optional<TempFileRules> temp = rulesFor(*category, environment);
      const QVector<PrivacyTarget> targets = locatePrivacyCategory(*category, environment).targets;
      const qint64 before = measure(targets, rulesOrNone(temp), roots);
      TypeResult result{id, {}, 0};
      clean(targets, rulesOrNone(temp), roots, result);
      outcome.freed = std::max<qint64>(0, before - measure(targets, rulesOrNone(temp), roots));
      outcome.removed = result.count.deleted;
      outcome.left = result.count.failed + result.skipped;
      outcome.result = outcome.left > 0 ? QStringLiteral("partly") : QStringLiteral("cleaned");
      if (result.skipped > 0)
        outcome.detail = QStringLiteral("in use by a running browser");
    } else if (cleaner) {
      // What was removed is what the clean found unchanged and unlinked.
      const CleanerOutcome cleaned = cleaner->command.isEmpty()
                                         ? runner.clean(*cleaner, runner.preview(*cleaner, false))
                                         : cleanSystem(*cleaner, runner);
      outcome.freed = cleaned.freedBytes;
      outcome.removed = cleaned.deleted;
      outcome.left = cleaned.failed + cleaned.changed;
      outcome.result = !cleaned.result.isEmpty()                        ? cleaned.result
                       : !cleaned.skipped.isEmpty() || outcome.left > 0 ? QStringLiteral("partly")
                                                                        : QStringLiteral("cleaned");
      outcome.detail = cleaned.skipped.isEmpty() ? cleaned.detail : cleaned.skipped;
    } else {
      outcome.result = QStringLiteral("refused");
    }
    list.append(outcome.toJson(id));
    summary << QStringLiteral("%1: %2, %3 bytes freed").arg(id, outcome.result).arg(outcome.freed);
  }
  Log::info("NativeUtil", "clean items. {}", summary.join(QStringLiteral("; ")).toStdString());
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}
