#include "cleanup/PrivacyCleaner.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "base/log/Log.h"
#include "cleanup/AppCleanerDefinitions.h"
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
QHash<QString, QStringList> shownKeys;

QJsonObject cleanerRow(const AppCleaner &cleaner, const PrivacyEnvironment &environment,
                       PrivacyRoots &roots, qint64 now) {
  QJsonObject row{
      {"id", cleaner.id},     {"application", cleaner.application},
      {"name", cleaner.name}, {"description", cleaner.description},
      {"safe", cleaner.safe},
  };
  if (cleaner.command.isEmpty()) {
    const AppCleanerRules rules(cleaner, now);
    row.insert("size", double(measure(cleaner.targets(environment), &rules, roots)));
    return row;
  }
  const SystemListing listing = SystemCleaners().list(cleaner.command);
  QStringList keys;
  for (const SystemItem &item : listing.items)
    keys << item.key;
  {
    std::lock_guard<std::mutex> lock(shownMutex);
    shownKeys.insert(cleaner.id, keys);
  }
  row.insert("size", double(listing.bytes()));
  row.insert("root", SystemCleaners::needsRoot(cleaner.command));
  row.insert("absent", listing.absent);
  row.insert("note", listing.note);
  return row;
}

// Cleans what the cleaner's row showed; listed now when no row showed it.
SystemCleanResult cleanSystem(const AppCleaner &cleaner) {
  std::unique_lock<std::mutex> lock(shownMutex);
  QStringList keys = shownKeys.value(cleaner.id);
  const bool shown = shownKeys.contains(cleaner.id);
  lock.unlock();
  if (!shown)
    for (const SystemItem &item : SystemCleaners().list(cleaner.command).items)
      keys << item.key;
  return SystemCleaners().clean(cleaner.command, keys);
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
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  const qint64 now = qint64(time(nullptr));
  QJsonArray list;
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed())
    list.append(cleanerRow(cleaner, environment, roots, now));
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool PrivacyCleaner::cleanCleaners(const QString &ids) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  const qint64 now = qint64(time(nullptr));
  return cleanNamed(ids, "cleaners", [&](const QString &id, TypeResult &result) {
    const AppCleaner *cleaner = AppCleanerDefinitions::find(id);
    if (!cleaner)
      return false;
    if (!cleaner->command.isEmpty()) {
      const SystemCleanResult done = cleanSystem(*cleaner);
      result.count += CleanCount{done.removed, done.left};
      if (done.result != QLatin1String("cleaned") && done.left == 0)
        ++result.count.failed;
      return true;
    }
    const AppCleanerRules rules(*cleaner, now);
    clean(cleaner->targets(environment), &rules, roots, result);
    return true;
  });
}

void PrivacyCleaner::measureRows(const std::function<bool(const QJsonObject &)> &each) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  const qint64 now = qint64(time(nullptr));
  for (const PrivacyCategory &category : privacyCategories())
    if (!each(categoryRow(category, environment, roots)))
      return;
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed())
    if (!each(cleanerRow(cleaner, environment, roots, now)))
      return;
}

QString PrivacyCleaner::cleanItems(const QString &ids) {
  const PrivacyEnvironment environment = PrivacyEnvironment::current();
  PrivacyRoots roots(environment);
  const qint64 now = qint64(time(nullptr));
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
    if (cleaner && !cleaner->command.isEmpty()) {
      outcome = cleanSystem(*cleaner);
    } else if (category || cleaner) {
      // Freed is what the file system no longer holds of the item's files.
      std::optional<TempFileRules> temp;
      std::optional<AppCleanerRules> own;
      QVector<PrivacyTarget> targets;
      if (category) {
        temp = rulesFor(*category, environment);
        targets = locatePrivacyCategory(*category, environment).targets;
      } else {
        own.emplace(*cleaner, now);
        targets = cleaner->targets(environment);
      }
      const EntryRules *rules = category ? rulesOrNone(temp) : &*own;
      const qint64 before = measure(targets, rules, roots);
      TypeResult result{id, {}, 0};
      clean(targets, rules, roots, result);
      outcome.freed = std::max<qint64>(0, before - measure(targets, rules, roots));
      outcome.removed = result.count.deleted;
      outcome.left = result.count.failed + result.skipped;
      outcome.result = outcome.left > 0 ? QStringLiteral("partly") : QStringLiteral("cleaned");
      if (result.skipped > 0)
        outcome.detail = QStringLiteral("in use by a running browser");
    } else {
      outcome.result = QStringLiteral("refused");
    }
    list.append(outcome.toJson(id));
    summary << QStringLiteral("%1: %2, %3 bytes freed").arg(id, outcome.result).arg(outcome.freed);
  }
  Log::info("NativeUtil", "clean items. {}", summary.join(QStringLiteral("; ")).toStdString());
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}
