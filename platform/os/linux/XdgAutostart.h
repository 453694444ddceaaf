#pragma once
// XDG autostart: the folders a desktop session starts entries from and the
// rule by which it decides whether it starts one.
#include <QString>
#include <QStringList>

#include "platform/os/linux/DesktopEntry.h"

namespace XdgAutostart {

// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
QString userFolder();
// Each folder of $XDG_CONFIG_DIRS (default /etc/xdg) + /autostart, in order.
QStringList machineFolders();
// Where an entry name is looked for: the user's folder, then the machine
// folders; the first file of a name masks the later ones.
QStringList searchOrder();
// The *.desktop names in a folder (no hidden files), sorted.
QStringList entryNames(const QString &folder);
// The folder whose file of that name the session reads; empty when none has it.
QString winningFolder(const QString &name);

// Whether a session would start the entry: an application, not hidden, shown
// in $XDG_CURRENT_DESKTOP, its TryExec and Exec programs present, and not
// switched off with X-GNOME-Autostart-enabled=false.
bool wouldStart(const DesktopEntry &entry);
// The same for a file; false when it cannot be read.
bool wouldStart(const QString &path);

} // namespace XdgAutostart
