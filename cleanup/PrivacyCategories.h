#pragma once
// What the privacy cleaner knows, as data: the eight categories in the order
// pages list them, and the browsers whose caches two of them hold. The code
// in PrivacyLocations turns these rows into folders of this machine.
#include <vector>

enum class PrivacySource {
  Thumbnails,     // the thumbnail cache, current and legacy folder
  RecentFiles,    // the recent-files list and KDE's recent documents
  TempFiles,      // the temporary folder, under the temp-file rules
  Nothing,        // a category this system has no counterpart for
  Trash,          // every trash folder of the user
  ChromiumCaches, // the caches of every profile of the browsers of the category
  FirefoxCaches,  // the cache2 folder of every profile in profiles.ini
};

struct PrivacyCategory {
  const char *type;
  const char *name;
  const char *description;
  PrivacySource source;
};

// In list order.
const std::vector<PrivacyCategory> &privacyCategories();

// One Chromium-family browser: its folder name under the XDG config and cache
// folders (also inside its Flatpak or Snap sandbox), and the sandbox names.
struct ChromiumBrowser {
  const char *category; // "chrome" or "edge"
  const char *folder;
  const char *flatpakId; // nullptr when there is none
  const char *snapName;  // nullptr when there is none
};

const std::vector<ChromiumBrowser> &chromiumBrowsers();

// Folders inside a Chromium profile of the cache folder that hold cache
// entries only.
const std::vector<const char *> &chromiumCacheFolders();

// Where a Firefox keeps profiles.ini and its profiles' cache folders, relative
// to the home folder; an empty cacheRoot means $XDG_CACHE_HOME/mozilla/firefox.
struct FirefoxInstall {
  const char *profilesFolder;
  const char *cacheRoot;
  bool sandboxed;
};

const std::vector<FirefoxInstall> &firefoxInstalls();
