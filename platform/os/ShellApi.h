#pragma once
// The shell facility: the desktop folder, launchers on it and the folder picker.
#include <QMap>
#include <QString>

// What a launcher (shortcut) starts and how it looks.
struct Launcher {
  QString name;
  QString target;
  QString arguments;     // one command-line string, double quotes group
  QString workingFolder; // empty: none
  QString icon;
  QString comment;     // empty: none
  QString categories;  // menu categories, ";"-terminated, empty: none
  QString windowClass; // the started windows' class, empty: unknown
  // The name and comment in other languages, by desktop locale ("zh_CN").
  QMap<QString, QString> localNames;
  QMap<QString, QString> localComments;
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
  // Where launchers shown in the application menu live; empty when none.
  virtual QString applicationMenuFolder() const = 0;
  // Marks a launcher as one the user trusts, so the desktop starts it
  // without asking; false when the desktop has no such mark.
  virtual bool markTrusted(const QString &path) const = 0;
  // Asks the user for a folder, in a dialog with that caption opened on
  // start (when it is a folder); empty when cancelled or impossible.
  virtual QString pickFolder(const QString &caption, const QString &start) const = 0;
};
