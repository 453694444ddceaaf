#pragma once
// Programs a Linux user installed, one reader per source; each lists a
// program once however many menu entries it has.
#include <QVector>

#include "cleanup/IconFinder.h"
#include "cleanup/InstalledProgram.h"
#include "cleanup/ProgramRoots.h"

namespace LinuxPrograms {

// Debian packages that put an entry in the menu.
QVector<InstalledProgram> debianPackages(const ProgramRoots &roots, IconFinder &icons);
// Flatpak apps of the user's and the system's installation.
QVector<InstalledProgram> flatpakApps(const ProgramRoots &roots);
QVector<InstalledProgram> snapApps(const ProgramRoots &roots);
// AppImages integrated into the user's menu.
QVector<InstalledProgram> appImages(const ProgramRoots &roots, IconFinder &icons);

// "yyyyMMdd" of a file's last change, as uninstall registrations keep dates.
QString installDateOf(const QString &path);

} // namespace LinuxPrograms
