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

// What a session makes of an entry, checked in this order: an application,
// not hidden, shown in $XDG_CURRENT_DESKTOP, its TryExec and Exec programs
// present, and not switched off with X-GNOME-Autostart-enabled=false.
enum class EntryState { Starts, NotApplication, Hidden, OtherDesktop, ProgramMissing, SwitchedOff };
EntryState entryState(const DesktopEntry &entry);
// The program an entry runs, as written: Exec's first word; empty without one.
QString program(const DesktopEntry &entry);

// Whether a session would start the entry.
bool wouldStart(const DesktopEntry &entry);
// The same for a file; false when it cannot be read.
bool wouldStart(const QString &path);

} // namespace XdgAutostart
