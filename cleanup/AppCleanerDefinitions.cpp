#include "cleanup/AppCleanerDefinitions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <limits>
#include <stdexcept>

#include <fnmatch.h>

#include "base/log/Log.h"
#include "cleanup/PrivacyCategories.h"
#include "cleanup/SystemCleaners.h"
#include "platform/storage/FileName.h"

namespace {

// A fault of a file: the field and what is wrong with it.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse(const QString &field, const char *why) {
  throw Refusal(QStringLiteral("%1: %2").arg(field, QLatin1String(why)).toStdString());
}

void onlyKeys(const QJsonObject &object, const QSet<QString> &keys, const QString &where) {
  for (const QString &key : object.keys())
    if (!keys.contains(key))
      refuse(where + '.' + key, "unknown key");
}

QString text(const QJsonObject &object, const QString &key, const QString &where, bool required) {
  const QJsonValue value = object.value(key);
  if (value.isUndefined() && !required)
    return QString();
  if (!value.isString() || value.toString().trimmed().isEmpty())
    refuse(where + '.' + key, "must be a non-empty text");
  return value.toString();
}

CleanerLocation location(const QJsonValue &value, const QString &where) {
  if (!value.isObject())
    refuse(where, "must be an object");
  const QJsonObject object = value.toObject();
  onlyKeys(object, {"root", "path"}, where);
  CleanerLocation result{text(object, "root", where, true), text(object, "path", where, true)};
  if (!QStringList({"cache", "config", "data", "home"}).contains(result.root))
    refuse(where + ".root", "must be cache, config, data or home");
  if (result.path.startsWith('/'))
    refuse(where + ".path", "must be relative");
  for (const QString &part : result.path.split('/')) {
    if (part.isEmpty() || part == "." || part == "..")
      refuse(where + ".path", "must not hold empty, . or .. components");
    if (part != "*" && part.contains(QRegularExpression(QStringLiteral("[*?\\[]"))))
      refuse(where + ".path", "a pattern is only a whole * component");
  }
  return result;
}

AppCleaner cleaner(const QJsonValue &value, const QString &application, const QString &where) {
  if (!value.isObject())
    refuse(where, "must be an object");
  const QJsonObject object = value.toObject();
  onlyKeys(object,
           {"id", "name", "description", "locations", "files", "olderThanDays", "safe", "command"},
           where);
  AppCleaner result;
  result.application = application;
  result.id = text(object, "id", where, true);
  result.name = text(object, "name", where, true);
  result.description = text(object, "description", where, true);
  if (object.contains("safe") && !object.value("safe").isBool())
    refuse(where + ".safe", "must be true or false");
  result.safe = object.value("safe").toBool();
  if (object.contains("command")) {
    // Only a name from the table in code: what runs is never data.
    result.command = text(object, "command", where, true);
    if (!SystemCleaners::isKnown(result.command))
      refuse(where + ".command", "is not an allow-listed system cleaner");
    for (const char *key : {"locations", "files", "olderThanDays"})
      if (object.contains(key))
        refuse(where + '.' + key, "does not go with command");
    return result;
  }
  const QJsonValue locations = object.value("locations");
  if (!locations.isArray() || locations.toArray().isEmpty())
    refuse(where + ".locations", "must be a non-empty list");
  for (int i = 0; i < locations.toArray().size(); ++i)
    result.locations.append(
        location(locations.toArray().at(i), QStringLiteral("%1.locations[%2]").arg(where).arg(i)));
  if (object.contains("files")) {
    result.files = text(object, "files", where, true);
    if (result.files.contains('/'))
      refuse(where + ".files", "matches names, without /");
  }
  if (object.contains("olderThanDays")) {
    const QJsonValue days = object.value("olderThanDays");
    if (!days.isDouble() || days.toDouble() < 1 || days.toDouble() != double(days.toInt()))
      refuse(where + ".olderThanDays", "must be a whole number of days, at least 1");
    result.olderThanDays = days.toInt();
  }
  return result;
}

std::vector<AppCleaner> loadFile(const QString &file, QSet<QString> &ids) {
  QFile input(file);
  if (!input.open(QIODevice::ReadOnly))
    refuse(QStringLiteral("file"), "cannot be read");
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    refuse(QStringLiteral("file"), "is not a JSON object");
  const QJsonObject object = document.object();
  onlyKeys(object, {"application", "cleaners"}, QStringLiteral("file"));
  const QString application = text(object, "application", QStringLiteral("file"), true);
  const QJsonValue list = object.value("cleaners");
  if (!list.isArray() || list.toArray().isEmpty())
    refuse(QStringLiteral("cleaners"), "must be a non-empty list");
  std::vector<AppCleaner> result;
  QSet<QString> own;
  for (int i = 0; i < list.toArray().size(); ++i) {
    const QString where = QStringLiteral("cleaners[%1]").arg(i);
    result.push_back(cleaner(list.toArray().at(i), application, where));
    if (ids.contains(result.back().id) || own.contains(result.back().id))
      refuse(where + ".id", "is already taken");
    own.insert(result.back().id);
  }
  ids.unite(own);
  return result;
}

QString rootFolder(const QString &root, const PrivacyEnvironment &environment) {
  if (root == QLatin1String("cache"))
    return environment.cacheHome;
  if (root == QLatin1String("config"))
    return environment.configHome;
  if (root == QLatin1String("data"))
    return environment.dataHome;
  return environment.home;
}

} // namespace

QVector<PrivacyTarget> AppCleaner::targets(const PrivacyEnvironment &environment) const {
  QVector<PrivacyTarget> result;
  for (const CleanerLocation &location : locations) {
    QStringList found = {rootFolder(location.root, environment)};
    for (const QString &part : location.path.split('/')) {
      QStringList next;
      for (const QString &folder : found) {
        if (part != QLatin1String("*")) {
          next << folder + '/' + part;
          continue;
        }
        // Names only: each one is opened later beneath its root, through no link.
        for (const QString &name : QDir(folder).entryList(
                 QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name))
          next << folder + '/' + name;
      }
      found = next;
    }
    for (const QString &path : found)
      if (isRealFolder(path))
        result.append(PrivacyTarget{path, CleanAction::EmptyFolder, QString()});
  }
  return result;
}

AppCleanerRules::AppCleanerRules(const AppCleaner &cleaner, qint64 nowSecs)
    : files_(FileName::toBytes(cleaner.files)),
      newestSecs_(cleaner.olderThanDays > 0 ? nowSecs - qint64(cleaner.olderThanDays) * 86400
                                            : std::numeric_limits<qint64>::max()) {}

bool AppCleanerRules::mayEnter(const WalkEntry &entry) const {
  return !entry.otherFileSystem;
}

bool AppCleanerRules::mayDelete(const WalkEntry &entry) const {
  if (entry.otherFileSystem)
    return false;
  // Folders go once empty, unless only some names are the cleaner's.
  if (entry.type == EntryType::Directory)
    return files_.isEmpty();
  if (!files_.isEmpty() && fnmatch(files_.constData(), entry.name.constData(), FNM_PERIOD) != 0)
    return false;
  return entry.modifiedSecs < newestSecs_;
}

namespace AppCleanerDefinitions {

std::vector<AppCleaner> load(const QString &folder) {
  QSet<QString> ids;
  for (const PrivacyCategory &category : privacyCategories())
    ids.insert(QString::fromUtf8(category.type));
  std::vector<AppCleaner> result;
  for (const QString &name : QDir(folder).entryList({"*.json"}, QDir::Files, QDir::Name)) {
    const QString file = folder + '/' + name;
    try {
      QSet<QString> taken = ids;
      for (AppCleaner &cleaner : loadFile(file, taken))
        result.push_back(std::move(cleaner));
      ids = taken;
    } catch (const Refusal &refusal) {
      Log::info("NativeUtil", "cleaner file {} refused: {}", file.toStdString(), refusal.what());
    }
  }
  return result;
}

const std::vector<AppCleaner> &installed() {
  // The program's own folder, also for a process without an application object.
  static const std::vector<AppCleaner> cleaners = load(
      QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QStringLiteral("/cleaners"));
  return cleaners;
}

const AppCleaner *find(const QString &id) {
  for (const AppCleaner &cleaner : installed())
    if (cleaner.id == id)
      return &cleaner;
  return nullptr;
}

} // namespace AppCleanerDefinitions
