#pragma once
// Opens what a page names with the user's own applications: web and mail
// addresses with the default browser or mail program, folders with the file
// manager. Nothing else is opened: a file: URL or another scheme could name
// a program or a desktop entry, which opening would run.
#include <QString>

class DesktopOpener {
public:
  // http, https and mailto only.
  bool openUrl(const QString &url);
  // Shows the folder; for a file, selects it in its folder; for a path that
  // does not exist, shows the folder part when that exists.
  bool openFolder(const QString &path);

  static bool isOpenableUrl(const QString &url);
};
