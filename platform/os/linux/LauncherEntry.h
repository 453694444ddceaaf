#pragma once
// The desktop entry of an application launcher (a desktop shortcut).
#include <optional>

#include "platform/os/ShellApi.h"
#include "platform/os/linux/DesktopEntry.h"

namespace LauncherEntry {

// Type, Name, Exec (the target with its arguments split like a command
// line), Path, Icon, Comment, Categories and StartupWMClass; nothing when no launcher could start the target.
std::optional<DesktopEntry> build(const Launcher &launcher);

// Writes the launcher executable at path, as desktops start only those.
bool write(const QString &path, const Launcher &launcher);

} // namespace LauncherEntry
