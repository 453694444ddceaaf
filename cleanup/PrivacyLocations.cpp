#include "cleanup/PrivacyLocations.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/BrowserProfiles.h"
#include "cleanup/TrashFolders.h"
#include "platform/storage/FileName.h"

namespace {

// An XDG base variable counts only when it holds an absolute path.
QString xdgFolder(const char *variable, const QString &fallback) {
  const QString value = FileName::fromBytes(qgetenv(variable));
  return value.startsWith(QLatin1Char('/')) ? value : fallback;
}

void addFolder(PrivacyLocation &location, const QString &path, CleanAction action) {
  if (isRealFolder(path))
    location.targets.append({path, action, QString()});
}

bool exists(const QString &path) {
  struct stat info;
  return lstat(FileName::toBytes(path).constData(), &info) == 0;
}

} // namespace

bool tempFolderHoldsHome(const PrivacyEnvironment &environment) {
  const QString temp = QFileInfo(environment.tempFolder).canonicalFilePath();
  const QString user = QFileInfo(environment.home).canonicalFilePath();
  return temp.isEmpty() || temp == QLatin1String("/") ||
         (!user.isEmpty() && (user == temp || user.startsWith(temp + '/')));
}

bool isRealFolder(const QString &path) {
  struct stat info;
  return lstat(FileName::toBytes(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

PrivacyEnvironment PrivacyEnvironment::current() {
  PrivacyEnvironment environment;
  environment.uid = getuid();
  environment.home = FileName::fromBytes(qgetenv("HOME"));
  if (environment.home.isEmpty())
    if (const passwd *user = getpwuid(environment.uid))
      environment.home = FileName::fromBytes(user->pw_dir);
  environment.configHome = xdgFolder("XDG_CONFIG_HOME", environment.home + "/.config");
  environment.dataHome = xdgFolder("XDG_DATA_HOME", environment.home + "/.local/share");
  environment.cacheHome = xdgFolder("XDG_CACHE_HOME", environment.home + "/.cache");
  const QString temp = FileName::fromBytes(qgetenv("TMPDIR"));
  environment.tempFolder = temp.isEmpty() ? QStringLiteral("/tmp") : temp;
  while (environment.tempFolder.size() > 1 && environment.tempFolder.endsWith(QLatin1Char('/')))
    environment.tempFolder.chop(1);
  return environment;
}

PrivacyLocation locatePrivacyCategory(const PrivacyCategory &category,
                                      const PrivacyEnvironment &environment) {
  PrivacyLocation location;
  switch (category.source) {
  case PrivacySource::Thumbnails:
    location.path = environment.cacheHome + "/thumbnails";
    addFolder(location, location.path, CleanAction::EmptyFolder);
    addFolder(location, environment.home + "/.thumbnails", CleanAction::EmptyFolder);
    break;
  case PrivacySource::RecentFiles:
    location.path = environment.dataHome + "/recently-used.xbel";
    if (exists(location.path))
      location.targets.append({location.path, CleanAction::ReplaceRecentList, QString()});
    addFolder(location, environment.dataHome + "/RecentDocuments", CleanAction::EmptyFolder);
    break;
  case PrivacySource::TempFiles:
    location.path = environment.tempFolder;
    if (!tempFolderHoldsHome(environment))
      addFolder(location, location.path, CleanAction::EmptyTempFolder);
    break;
  case PrivacySource::Nothing:
    break;
  case PrivacySource::Trash:
    location.path = environment.dataHome + "/Trash";
    for (const QString &folder : trashFolders(environment))
      location.targets.append({folder, CleanAction::EmptyTrash, QString()});
    break;
  case PrivacySource::ChromiumCaches:
    location.path = chromiumCacheRoot(category.type, environment);
    location.targets = chromiumCacheTargets(category.type, environment);
    break;
  case PrivacySource::FirefoxCaches:
    location.path = firefoxProfilesRoot(environment);
    location.targets = firefoxCacheTargets(environment);
    break;
  }
  return location;
}
