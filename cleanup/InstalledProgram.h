#pragma once
// One installed program as the list shows it, and how it is removed.
#include <QString>
#include <QStringList>

struct UninstallAction {
  enum class Kind {
    Command,       // an uninstall registration's command line
    Refused,       // a registration whose command may not start
    DebianPackage, // removed through PackageKit
    Sandboxed,     // a Flatpak or Snap app, removed by its own tool
    AppImage,      // a file and its menu entry
  };
  Kind kind = Kind::Command;
  QString package;   // Debian: package name; AppImage: the image file
  QString packageId; // Debian: PackageKit's "name;version;arch;installed"
  // Command: the program and its arguments; Sandboxed: the tool and its
  // arguments; AppImage: menu entry files
  QStringList command;
  QString refusal; // Refused: why
};

struct InstalledProgram {
  QString name;
  QString publisher;
  QString version;
  QString installDate;
  QString uninstallString;
  QString displayIcon;
  quint64 estimatedSize = 0; // KiB
  QString installLocation;   // a registration's folder
  UninstallAction action;
};
