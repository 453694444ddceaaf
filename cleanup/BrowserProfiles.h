#pragma once
// The cache folders of every browser profile of the user, with the lock that
// shows a running browser using the profile.
#include <QString>
#include <QVector>

#include "cleanup/PrivacyLocations.h"

// The cache folder the item of a Chromium-family category shows.
QString chromiumCacheRoot(const char *category, const PrivacyEnvironment &environment);
// "Cache" and "Code Cache" of every profile of every browser of the category,
// native, Flatpak and Snap.
QVector<PrivacyTarget> chromiumCacheTargets(const char *category,
                                            const PrivacyEnvironment &environment);

// The folder of the native Firefox's profiles.ini.
QString firefoxProfilesRoot(const PrivacyEnvironment &environment);
// The cache2 folder of every profile that a profiles.ini lists.
QVector<PrivacyTarget> firefoxCacheTargets(const PrivacyEnvironment &environment);

struct FirefoxProfile {
  QString path; // the profile folder
  QString cacheFolder;
};
// The profiles of one profiles.ini, in file order. A profile stored under the
// profiles folder keeps its cache under cacheRoot by the same relative path;
// one stored elsewhere keeps it in the profile folder.
QVector<FirefoxProfile> readProfilesIni(const QString &profilesFolder, const QString &cacheRoot);

// Whether the lock file (Chromium's SingletonLock, Firefox's lock: a link to
// "HOST-PID" or "ADDRESS:+PID") shows a running browser. A lock whose process
// is gone on this host is stale; inside a sandbox the process id is another
// namespace's, so any lock there counts.
bool isLockHeld(const QString &lockFile, bool sandboxed);
