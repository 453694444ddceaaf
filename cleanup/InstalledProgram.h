#pragma once
// One installed program as the list shows it, and how it is removed.
#include <QString>
#include <QStringList>

struct UninstallAction {
  enum class Kind {
    Command,       // an uninstall registration's command line
    DebianPackage, // removed through PackageKit
    Sandboxed,     // a Flatpak or Snap app, removed by its own tool
    AppImage,      // a file and its menu entry
  };
  Kind kind = Kind::Command;
  QString package;     // Debian: package name; AppImage: the image file
  QString packageId;   // Debian: PackageKit's "name;version;arch;installed"
  QStringList command; // Sandboxed: the tool and its arguments; AppImage: menu entry files
};

struct InstalledProgram {
  QString name;
  QString publisher;
  QString version;
  QString installDate;
  QString uninstallString;
  QString displayIcon;
  quint64 estimatedSize = 0; // KiB
  UninstallAction action;
};
