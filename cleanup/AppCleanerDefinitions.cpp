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
#include <sys/stat.h>

#include "base/log/Log.h"
#include "cleanup/BrowserProfiles.h"
#include "cleanup/PrivacyCategories.h"
#include "cleanup/SystemCleaners.h"
#include "platform/storage/FileName.h"
#include "system/ProcessControl.h"

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
  CleanerLocation result{text(object, "root", where, true), text(object, "path", where, false)};
  if (!QStringList({"cache", "config", "data", "home", "temp", "var-temp"}).contains(result.root))
    refuse(where + ".root", "must be cache, config, data, home, temp or var-temp");
  if (result.path.startsWith('/'))
    refuse(where + ".path", "must be relative");
  for (const QString &part : result.path.isEmpty() ? QStringList() : result.path.split('/')) {
    if (part.isEmpty() || part == "." || part == "..")
      refuse(where + ".path", "must not hold empty, . or .. components");
    if (part != "*" && part.contains(QRegularExpression(QStringLiteral("[*?\\[]"))))
      refuse(where + ".path", "a pattern is only a whole * component");
  }
  return result;
}

QVector<CleanerLocation> locations(const QJsonValue &value, const QString &where) {
  if (!value.isArray() || value.toArray().isEmpty())
    refuse(where, "must be a non-empty list");
  QVector<CleanerLocation> result;
  for (int i = 0; i < value.toArray().size(); ++i)
    result.append(location(value.toArray().at(i), QStringLiteral("%1[%2]").arg(where).arg(i)));
  return result;
}

bool flag(const QJsonObject &object, const QString &key, const QString &where) {
  if (object.contains(key) && !object.value(key).isBool())
    refuse(where + '.' + key, "must be true or false");
  return object.value(key).toBool();
}

void readInUse(const QJsonValue &value, AppCleaner &result, const QString &where) {
  if (!value.isObject())
    refuse(where, "must be an object");
  const QJsonObject object = value.toObject();
  onlyKeys(object, {"locks", "processes"}, where);
  if (object.isEmpty())
    refuse(where, "must name locks or processes");
  if (object.contains("locks"))
    result.locks = locations(object.value("locks"), where + ".locks");
  if (object.contains("processes")) {
    const QJsonValue names = object.value("processes");
    if (!names.isArray() || names.toArray().isEmpty())
      refuse(where + ".processes", "must be a non-empty list");
    for (const QJsonValue &name : names.toArray()) {
      if (!name.isString() || name.toString().isEmpty() || name.toString().contains('/'))
        refuse(where + ".processes", "must hold executable names");
      result.processes << name.toString();
    }
  }
}

AppCleaner cleaner(const QJsonValue &value, const QString &application,
                   const QString &applicationEn, const QString &where) {
  if (!value.isObject())
    refuse(where, "must be an object");
  const QJsonObject object = value.toObject();
  onlyKeys(object,
           {"id", "name", "description", "nameEn", "descriptionEn", "warning", "warningEn",
            "locations", "files", "olderThanDays", "ownedByUser", "safe", "inUse", "command"},
           where);
  AppCleaner result;
  result.application = application;
  result.applicationEn = applicationEn;
  result.id = text(object, "id", where, true);
  result.name = text(object, "name", where, true);
  result.description = text(object, "description", where, true);
  result.nameEn = text(object, "nameEn", where, true);
  result.descriptionEn = text(object, "descriptionEn", where, true);
  result.warning = text(object, "warning", where, false);
  result.warningEn = text(object, "warningEn", where, !result.warning.isEmpty());
  if (result.warning.isEmpty() && !result.warningEn.isEmpty())
    refuse(where + ".warningEn", "goes only with warning");
  result.safe = flag(object, "safe", where);
  if (result.safe && !result.warning.isEmpty())
    refuse(where + ".safe", "a cleaner with a warning is never safe");
  if (object.contains("command")) {
    // Only a name from the table in code: what runs is never data.
    result.command = text(object, "command", where, true);
    if (!SystemCleaners::isKnown(result.command))
      refuse(where + ".command", "is not an allow-listed system cleaner");
    for (const char *key : {"locations", "files", "olderThanDays", "ownedByUser", "inUse"})
      if (object.contains(key))
        refuse(where + '.' + key, "does not go with command");
    result.needsRoot = SystemCleaners::needsRoot(result.command);
    return result;
  }
  result.locations = locations(object.value("locations"), where + ".locations");
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
  result.ownedByUser = flag(object, "ownedByUser", where);
  for (const CleanerLocation &location : result.locations)
    if (location.root.contains("temp") && !result.ownedByUser)
      refuse(where + ".ownedByUser", "must be true below a temporary folder");
  if (object.contains("inUse"))
    readInUse(object.value("inUse"), result, where + ".inUse");
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
  onlyKeys(object, {"application", "applicationEn", "cleaners"}, QStringLiteral("file"));
  const QString application = text(object, "application", QStringLiteral("file"), true);
  const QString applicationEn = text(object, "applicationEn", QStringLiteral("file"), true);
  const QJsonValue list = object.value("cleaners");
  if (!list.isArray() || list.toArray().isEmpty())
    refuse(QStringLiteral("cleaners"), "must be a non-empty list");
  std::vector<AppCleaner> result;
  QSet<QString> own;
  for (int i = 0; i < list.toArray().size(); ++i) {
    const QString where = QStringLiteral("cleaners[%1]").arg(i);
    result.push_back(cleaner(list.toArray().at(i), application, applicationEn, where));
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
  if (root == QLatin1String("temp"))
    return tempFolderHoldsHome(environment) ? QString() : environment.tempFolder;
  if (root == QLatin1String("var-temp"))
    return QStringLiteral("/var/tmp");
  return environment.home;
}

// The paths a location names on this machine, a "*" standing for every
// folder (never a link) at its level; whether they exist is left open.
QStringList expand(const CleanerLocation &location, const PrivacyEnvironment &environment) {
  const QString root = rootFolder(location.root, environment);
  if (root.isEmpty())
    return {};
  QStringList found = {root};
  for (const QString &part : location.path.split('/', Qt::SkipEmptyParts)) {
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
  return found;
}

bool isRegularFile(const QString &path) {
  struct stat info;
  return lstat(FileName::toBytes(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

// Inside a Flatpak or Snap sandbox a lock names another process namespace.
bool isSandboxed(const QString &path, const PrivacyEnvironment &environment) {
  return path.startsWith(environment.home + "/.var/app/") ||
         path.startsWith(environment.home + "/snap/");
}

} // namespace

QVector<CleanerTarget> AppCleaner::targets(const PrivacyEnvironment &environment) const {
  QVector<CleanerTarget> result;
  for (const CleanerLocation &location : locations)
    for (const QString &path : expand(location, environment)) {
      if (isRealFolder(path)) {
        result.append({path, QByteArray()});
      } else if (isRegularFile(path)) {
        const int slash = path.lastIndexOf('/');
        result.append({path.left(slash), FileName::toBytes(path.mid(slash + 1))});
      }
    }
  return result;
}

QString AppCleaner::inUse(const PrivacyEnvironment &environment) const {
  for (const CleanerLocation &lock : locks)
    for (const QString &path : expand(lock, environment))
      if (isLockHeld(path, isSandboxed(path, environment)))
        return QStringLiteral("正在运行（%1 被占用）").arg(path);
  ProcessControl running;
  for (const QString &name : processes)
    if (running.isProcessRunning(name))
      return QStringLiteral("正在运行（进程 %1）").arg(name);
  return QString();
}

AppCleanerRules::AppCleanerRules(const AppCleaner &cleaner, qint64 nowSecs, uid_t uid)
    : files_(FileName::toBytes(cleaner.files)),
      newestSecs_(cleaner.olderThanDays > 0 ? nowSecs - qint64(cleaner.olderThanDays) * 86400
                                            : std::numeric_limits<qint64>::max()),
      owner_(cleaner.ownedByUser ? std::optional<uid_t>(uid) : std::nullopt) {}

bool AppCleanerRules::mayEnter(const WalkEntry &entry) const {
  return !entry.otherFileSystem && (!owner_ || entry.owner == *owner_);
}

bool AppCleanerRules::mayDelete(const WalkEntry &entry) const {
  if (entry.otherFileSystem || (owner_ && entry.owner != *owner_))
    return false;
  // Folders go once empty, unless only some names are the cleaner's; under
  // an age limit only an old one (a program's fresh empty folder stays).
  if (entry.type == EntryType::Directory)
    return files_.isEmpty() && entry.modifiedSecs < newestSecs_;
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
