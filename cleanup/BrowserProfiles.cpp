#include "cleanup/BrowserProfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/storage/FileName.h"

namespace {

bool isProcessAlive(qint64 pid) {
  return pid > 0 && pid <= INT_MAX && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  return gethostname(name, sizeof name - 1) == 0 ? QString::fromLocal8Bit(name) : QString();
}

// Chromium names its profiles "Default", "Profile N", "Guest Profile" and
// "System Profile"; other folders beside them hold shared data.
bool isChromiumProfile(const QString &name) {
  return name == QLatin1String("Default") || name.startsWith(QLatin1String("Profile ")) ||
         name == QLatin1String("Guest Profile") || name == QLatin1String("System Profile");
}

struct ChromiumInstall {
  QString config; // the user-data folder, where SingletonLock lives
  QString cache;
  bool sandboxed;
};

QVector<ChromiumInstall> chromiumInstalls(const ChromiumBrowser &browser,
                                          const PrivacyEnvironment &environment) {
  const QString folder = QString::fromLatin1(browser.folder);
  QVector<ChromiumInstall> installs = {
      {environment.configHome + '/' + folder, environment.cacheHome + '/' + folder, false}};
  if (browser.flatpakId) {
    const QString app = environment.home + "/.var/app/" + browser.flatpakId;
    installs.append({app + "/config/" + folder, app + "/cache/" + folder, true});
  }
  if (browser.snapName) {
    const QString common = environment.home + "/snap/" + browser.snapName + "/common";
    installs.append({common + '/' + folder, common + "/.cache/" + folder, true});
  }
  return installs;
}

QString profileLock(const ChromiumInstall &install, const QString &profile) {
  for (const QString &lock :
       {install.config + "/SingletonLock", install.config + '/' + profile + "/SingletonLock"})
    if (isLockHeld(lock, install.sandboxed))
      return lock;
  return QString();
}

QString firefoxCacheHome(const FirefoxInstall &install, const PrivacyEnvironment &environment) {
  return *install.cacheRoot ? environment.home + '/' + install.cacheRoot
                            : environment.cacheHome + "/mozilla/firefox";
}

} // namespace

bool isLockHeld(const QString &lockFile, bool sandboxed) {
  const QByteArray path = FileName::toBytes(lockFile);
  struct stat info;
  if (lstat(path.constData(), &info) != 0)
    return false;
  if (sandboxed || !S_ISLNK(info.st_mode))
    return true;
  char target[PATH_MAX];
  const ssize_t length = readlink(path.constData(), target, sizeof target);
  if (length <= 0)
    return true;
  const QString text = QString::fromLocal8Bit(target, int(length));
  // Chromium: HOST-PID, the host name may hold dashes. Firefox: ADDRESS:+PID.
  const int colon = text.lastIndexOf(QLatin1Char(':'));
  const int dash = text.lastIndexOf(QLatin1Char('-'));
  bool valid = false;
  qint64 pid = 0;
  if (colon >= 0) {
    QString number = text.mid(colon + 1);
    if (number.startsWith(QLatin1Char('+')))
      number.remove(0, 1);
    pid = number.toLongLong(&valid);
  } else if (dash > 0) {
    pid = text.mid(dash + 1).toLongLong(&valid);
    // A lock made on another host (a shared home) cannot be checked from here.
    if (valid && text.left(dash) != hostName())
      return true;
  }
  return !valid || isProcessAlive(pid);
}

QString chromiumCacheRoot(const char *category, const PrivacyEnvironment &environment) {
  for (const ChromiumBrowser &browser : chromiumBrowsers())
    if (qstrcmp(browser.category, category) == 0)
      return environment.cacheHome + '/' + browser.folder;
  return QString();
}

QVector<PrivacyTarget> chromiumCacheTargets(const char *category,
                                            const PrivacyEnvironment &environment) {
  QVector<PrivacyTarget> targets;
  for (const ChromiumBrowser &browser : chromiumBrowsers()) {
    if (qstrcmp(browser.category, category) != 0)
      continue;
    for (const ChromiumInstall &install : chromiumInstalls(browser, environment)) {
      if (!isRealFolder(install.cache))
        continue;
      const QStringList profiles =
          QDir(install.cache)
              .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
      for (const QString &profile : profiles) {
        if (!isChromiumProfile(profile))
          continue;
        const QString lock = profileLock(install, profile);
        for (const char *cache : chromiumCacheFolders()) {
          const QString path = install.cache + '/' + profile + '/' + cache;
          if (isRealFolder(path))
            targets.append({path, CleanAction::EmptyFolder, lock});
        }
      }
    }
  }
  return targets;
}

QString firefoxProfilesRoot(const PrivacyEnvironment &environment) {
  return environment.home + '/' + firefoxInstalls().front().profilesFolder;
}

QVector<FirefoxProfile> readProfilesIni(const QString &profilesFolder, const QString &cacheRoot) {
  QVector<FirefoxProfile> profiles;
  QFile file(profilesFolder + "/profiles.ini");
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return profiles;
  // Read by hand: QSettings would turn a path holding a comma into a list.
  struct Section {
    bool isProfile = false;
    QString path;
    bool isRelative = true;
  };
  QVector<Section> sections;
  for (const QByteArray &raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
      sections.append(
          {line.mid(1, line.size() - 2).startsWith(QLatin1String("Profile")), QString(), true});
      continue;
    }
    const int equals = line.indexOf(QLatin1Char('='));
    if (sections.isEmpty() || equals <= 0)
      continue;
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QLatin1String("Path"))
      sections.last().path = value;
    else if (key == QLatin1String("IsRelative"))
      sections.last().isRelative = value != QLatin1String("0");
  }
  const QString root = QDir::cleanPath(profilesFolder);
  for (const Section &section : sections) {
    if (!section.isProfile || section.path.isEmpty())
      continue;
    if (section.isRelative && (section.path.startsWith(QLatin1Char('/')) ||
                               section.path.split(QLatin1Char('/')).contains(QLatin1String(".."))))
      continue; // a relative path must stay below the profiles folder
    const QString profile =
        QDir::cleanPath(section.isRelative ? root + '/' + section.path : section.path);
    const bool below = profile.startsWith(root + '/');
    const QString cache = below ? cacheRoot + profile.mid(root.size()) : profile;
    profiles.append({profile, cache + "/cache2"});
  }
  return profiles;
}

QVector<PrivacyTarget> firefoxCacheTargets(const PrivacyEnvironment &environment) {
  QVector<PrivacyTarget> targets;
  QStringList seen;
  for (const FirefoxInstall &install : firefoxInstalls()) {
    const QString folder = environment.home + '/' + install.profilesFolder;
    for (const FirefoxProfile &profile :
         readProfilesIni(folder, firefoxCacheHome(install, environment))) {
      if (seen.contains(profile.cacheFolder) || !isRealFolder(profile.cacheFolder))
        continue;
      seen.append(profile.cacheFolder);
      const QString lock = profile.path + "/lock";
      targets.append({profile.cacheFolder, CleanAction::EmptyFolder,
                      isLockHeld(lock, install.sandboxed) ? lock : QString()});
    }
  }
  return targets;
}
