#pragma once
// A freedesktop desktop entry for an application launcher.
#include <QString>
#include <QStringList>

#include "platform/os/ShellApi.h"

namespace DesktopEntry {

// An Exec value: the program and its arguments quoted and escaped as the
// Desktop Entry specification requires.
QString execValue(const QString &program, const QStringList &arguments);

// The whole entry for a launcher; arguments are split like a command line.
QString text(const Launcher &launcher);

// Writes the entry executable at path, replacing any earlier file at once.
bool write(const QString &path, const Launcher &launcher);

} // namespace DesktopEntry
