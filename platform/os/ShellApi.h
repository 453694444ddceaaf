#pragma once
// The shell facility: the desktop folder, launchers on it and the folder picker.
#include <QString>

// What a launcher (shortcut) starts and how it looks.
struct Launcher {
  QString name;
  QString target;
  QString arguments;     // one command-line string, double quotes group
  QString workingFolder; // empty: none
  QString icon;
};

class ShellApi {
public:
  struct FolderQuery {
    int status = 0; // 0 on success, a negative error code otherwise
    QString path;
  };

  virtual ~ShellApi() = default;
  // The user's desktop folder; a failure status when it does not exist.
  virtual FolderQuery desktopFolder() const = 0;
  // File-name suffix of a launcher file, with its dot.
  virtual QString launcherSuffix() const = 0;
  // Writes (or replaces) the launcher file at path.
  virtual bool writeLauncher(const QString &path, const Launcher &launcher) const = 0;
  // Asks the user for a folder; empty when cancelled or impossible.
  virtual QString pickFolder() const = 0;
};
