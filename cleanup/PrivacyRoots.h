#pragma once
// Where the privacy cleaner opens what it measures and cleans. The session's
// own folders (home, the XDG folders, the temporary folder) are resolved
// once per call, links and all, as the session names them; every target is
// opened beneath the deepest of them that holds it, through no link and on
// that folder's mount only. A folder swapped for a link while a category is
// cleaned therefore leads nowhere.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

#include "cleanup/PrivacyLocations.h"
#include "platform/storage/FileWalker.h"

class PrivacyRoots {
public:
  explicit PrivacyRoots(const PrivacyEnvironment &environment);

  // The target's folder (for a recent-files list, the folder holding it and
  // its name in name). A trash folder may sit on a volume of its own: it is
  // opened beneath the folder above it. -1 with errno when it cannot be
  // opened as a folder.
  UniqueFd open(const PrivacyTarget &target, QByteArray &name);

private:
  // The folder beneath which path is opened, and path's part below it.
  int rootFor(const QString &path, bool onItsVolume, QByteArray &beneath);

  QStringList sessionFolders_;
  std::map<QString, UniqueFd> opened_;
};
