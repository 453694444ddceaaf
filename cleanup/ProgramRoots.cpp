#include "cleanup/ProgramRoots.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

QStringList dataDirs() {
  QStringList dirs{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
  const QString system = qEnvironmentVariable("XDG_DATA_DIRS");
  for (const QString &dir :
       (system.isEmpty() ? QStringLiteral("/usr/local/share:/usr/share") : system)
           .split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    const QString clean = QDir::cleanPath(dir);
    if (!dirs.contains(clean))
      dirs.append(clean);
  }
  return dirs;
}

QStringList withSuffix(const QStringList &dirs, const QString &suffix) {
  QStringList out;
  for (const QString &dir : dirs)
    out.append(dir + suffix);
  return out;
}

// The theme GTK desktops use, else KDE's; neither set means hicolor alone.
QString desktopIconTheme() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QString gtk =
      QSettings(config + QStringLiteral("/gtk-3.0/settings.ini"), QSettings::IniFormat)
          .value(QStringLiteral("Settings/gtk-icon-theme-name"))
          .toString();
  if (!gtk.isEmpty())
    return gtk;
  return QSettings(config + QStringLiteral("/kdeglobals"), QSettings::IniFormat)
      .value(QStringLiteral("Icons/Theme"))
      .toString();
}

} // namespace

ProgramRoots ProgramRoots::system() {
  ProgramRoots roots;
  const QStringList data = dataDirs();
  const QString userFlatpak = data.first() + QStringLiteral("/flatpak");
  roots.applicationDirs = withSuffix(data, QStringLiteral("/applications"));
  roots.userApplicationDir = roots.applicationDirs.first();
  roots.dpkgStatus = QStringLiteral("/var/lib/dpkg/status");
  roots.dpkgInfo = QStringLiteral("/var/lib/dpkg/info");
  roots.iconDirs = QStringList{QDir::homePath() + QStringLiteral("/.icons")} +
                   withSuffix(data, QStringLiteral("/icons"));
  roots.pixmapDir = QStringLiteral("/usr/share/pixmaps");
  roots.iconTheme = desktopIconTheme();
  roots.flatpakInstallations = QStringList{userFlatpak, QStringLiteral("/var/lib/flatpak")};
  roots.snapDir = QStringLiteral("/snap");
  roots.snapApplicationDir = QStringLiteral("/var/lib/snapd/desktop/applications");
  roots.aptGet = QStringLiteral("/usr/bin/apt-get");
  roots.flatpak = QStringLiteral("/usr/bin/flatpak");
  roots.snap = QStringLiteral("/usr/bin/snap");
  return roots;
}
