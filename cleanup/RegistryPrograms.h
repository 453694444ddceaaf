#pragma once
// Programs from the uninstall registrations in the registry, read the way the
// system's own list of programs reads them: both roots, both views, the
// update and component filters, and an icon for each.
#include <QVector>
#include <memory>

#include "cleanup/InstalledProgram.h"

class Registry;

namespace RegistryPrograms {

QVector<InstalledProgram> read(Registry &registry);

// A DisplayIcon value as a file path: quotes and an ",N" icon index removed,
// environment variables expanded.
QString cleanIconPath(const QString &text);

// %NAME% replaced by the variable's value; unknown names stay as written.
QString expandEnvironment(const QString &text);

} // namespace RegistryPrograms
