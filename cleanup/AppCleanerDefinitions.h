#pragma once
// The application cleaners, as data: one JSON file per application in the
// cleaners folder beside the program. A file is checked once when loaded; a
// file with any fault is refused whole, with a log line naming the file and
// the field, and the others load.
//
//   {"application": "pip",
//    "cleaners": [{"id": "pip-cache", "name": "...", "description": "...",
//                  "locations": [{"root": "cache", "path": "pip"}],
//                  "files": "*.whl", "olderThanDays": 30, "safe": true}]}
//
// root is one of "cache", "config", "data", "home" ($XDG_CACHE_HOME,
// $XDG_CONFIG_HOME, $XDG_DATA_HOME, $HOME); path is relative below it, and a
// component "*" stands for every folder at that level (a browser's
// profiles). Without "files" a location's whole content goes; with it, only
// the files whose names match. "olderThanDays" keeps what changed since.
// Instead of locations, "command" names a system cleaner from the table in
// code (SystemCleaners.h), such as "flatpak-unused-user".
#include <QString>
#include <QVector>

#include <vector>

#include "cleanup/EntryRules.h"
#include "cleanup/PrivacyLocations.h"

struct CleanerLocation {
  QString root; // "cache", "config", "data" or "home"
  QString path;
};

struct AppCleaner {
  QString id;
  QString application;
  QString name;
  QString description;
  QVector<CleanerLocation> locations;
  QString files; // a glob on file names; empty for everything
  int olderThanDays = 0;
  bool safe = false; // only regenerable caches: offered selected
  QString command;   // a system cleaner's id (SystemCleaners.h), instead of locations

  // The folders of this machine the locations name, those that exist.
  QVector<PrivacyTarget> targets(const PrivacyEnvironment &environment) const;
};

// What a cleaner deletes below one of its folders.
class AppCleanerRules : public EntryRules {
public:
  AppCleanerRules(const AppCleaner &cleaner, qint64 nowSecs);
  bool mayEnter(const WalkEntry &entry) const override;
  bool mayDelete(const WalkEntry &entry) const override;

private:
  QByteArray files_;
  qint64 newestSecs_; // only what was last changed before this goes
};

namespace AppCleanerDefinitions {

// Every valid file of folder, in file name order; cleaners in file order.
std::vector<AppCleaner> load(const QString &folder);
// The cleaners folder beside the program, loaded on first use.
const std::vector<AppCleaner> &installed();
const AppCleaner *find(const QString &id);

} // namespace AppCleanerDefinitions
