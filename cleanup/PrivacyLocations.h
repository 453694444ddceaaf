#pragma once
// The folders and files of this machine behind each privacy category, found
// from the XDG variables, profiles.ini, the mount table and the browsers'
// sandboxes. Only what exists is returned; nothing here reads or changes the
// files themselves.
#include <QString>
#include <QVector>

#include <sys/types.h>

#include "cleanup/PrivacyCategories.h"

// The user's folders, as the session gives them.
struct PrivacyEnvironment {
  QString home;
  QString configHome;
  QString dataHome;
  QString cacheHome;
  QString tempFolder;
  uid_t uid = 0;

  static PrivacyEnvironment current();
};

enum class CleanAction {
  EmptyFolder,       // everything below the folder; the folder stays
  EmptyTempFolder,   // only what the temp-file rules allow
  ReplaceRecentList, // an XBEL list, replaced by an empty one
  EmptyTrash,        // a trash folder, item by item
};

struct PrivacyTarget {
  QString path;
  CleanAction action = CleanAction::EmptyFolder;
  // The lock file that shows a running browser using this folder; empty
  // when the folder is free to clean.
  QString lockedBy;
};

struct PrivacyLocation {
  QString path; // what the item shows, whether or not it exists
  QVector<PrivacyTarget> targets;
};

// A temporary folder set to the home folder, or to one that holds it, would
// put the user's own files under the temp-file rules.
bool tempFolderHoldsHome(const PrivacyEnvironment &environment);

// A folder itself, not a link to one.
bool isRealFolder(const QString &path);

PrivacyLocation locatePrivacyCategory(const PrivacyCategory &category,
                                      const PrivacyEnvironment &environment);
