#pragma once
// The application cleaners, as data: one JSON file per application in the
// cleaners folder beside the program. A file is checked once when loaded; a
// file with any fault is refused whole, with a log line naming the file and
// the field, and the others load.
//
//   {"application": "pip", "applicationEn": "pip",
//    "cleaners": [{"id": "pip-cache", "name": "...", "description": "...",
//                  "nameEn": "...", "descriptionEn": "...",
//                  "locations": [{"root": "cache", "path": "pip"}],
//                  "files": "*.whl", "olderThanDays": 30, "safe": true,
//                  "warning": "...", "ownedByUser": true,
//                  "inUse": {"locks": [{"root": "config", "path": "x/lock"}],
//                            "processes": ["x"]}}]}
//
// root is one of "cache", "config", "data", "home" ($XDG_CACHE_HOME,
// $XDG_CONFIG_HOME, $XDG_DATA_HOME, $HOME), "temp" (the session's temporary
// folder) or "var-temp" (/var/tmp); path is relative below it (without one,
// the root itself), and a component "*" stands for every folder at that
// level (a browser's profiles; a Flatpak's .var/app/ID or a Snap's
// snap/NAME/common are plain paths below home). A location naming a file is that file alone.
// Without "files" a folder's whole content goes; with it, only the files whose names match.
// "olderThanDays" keeps what changed since; "ownedByUser" keeps to the user's own files and
// folders, and the two temporary roots require it. A cleaner with a "warning" (what its loss means
// to the user) is never safe. "inUse" tells that the application runs: any of its lock files held
// (a link to HOST-PID or ADDRESS:+PID whose process lives), or a process of that executable name of
// this user; the cleaner is then skipped.
// Instead of locations, "command" names a system cleaner from the table in
// code (SystemCleaners.h), such as "flatpak-unused-user".
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <vector>

#include "cleanup/EntryRules.h"
#include "cleanup/PrivacyLocations.h"

struct CleanerLocation {
  QString root; // "cache", "config", "data", "home", "temp" or "var-temp"
  QString path;
};

// A folder a cleaner empties, or with fileName one file in that folder.
struct CleanerTarget {
  QString folder;
  QByteArray fileName;
};

struct AppCleaner {
  QString id;
  QString application;
  QString applicationEn;
  QString name;
  QString description;
  QString nameEn;
  QString descriptionEn;
  QString warning; // what cleaning loses that the user would notice
  QString warningEn;
  QVector<CleanerLocation> locations;
  QString files; // a glob on file names; empty for everything
  int olderThanDays = 0;
  bool ownedByUser = false;
  bool safe = false;      // only regenerable caches: offered selected
  bool needsRoot = false; // path cleaners act as the user; a command may need root
  QString command;        // a system cleaner's id (SystemCleaners.h), instead of locations
  QVector<CleanerLocation> locks;
  QStringList processes;

  // The folders and files of this machine the locations name, those that
  // exist (a folder itself, a regular file itself, never a link).
  QVector<CleanerTarget> targets(const PrivacyEnvironment &environment) const;
  // Why the cleaner leaves everything alone now: its application runs, told
  // by the lock file held or the process found. Empty when it is free.
  QString inUse(const PrivacyEnvironment &environment) const;
};

// What a cleaner deletes below one of its folders.
class AppCleanerRules : public EntryRules {
public:
  AppCleanerRules(const AppCleaner &cleaner, qint64 nowSecs, uid_t uid);
  bool mayEnter(const WalkEntry &entry) const override;
  bool mayDelete(const WalkEntry &entry) const override;

private:
  QByteArray files_;
  qint64 newestSecs_; // only what was last changed before this goes
  std::optional<uid_t> owner_;
};

namespace AppCleanerDefinitions {

// Every valid file of folder, in file name order; cleaners in file order.
std::vector<AppCleaner> load(const QString &folder);
// The cleaners folder beside the program, loaded on first use.
const std::vector<AppCleaner> &installed();
const AppCleaner *find(const QString &id);

} // namespace AppCleanerDefinitions
