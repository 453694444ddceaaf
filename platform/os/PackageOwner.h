#pragma once
// Which Debian package installed a file, from dpkg's file lists: a program
// installed that way is updated and removed by the package manager, never
// by our own installer.
#include <QString>
#include <QStringList>

namespace PackageOwner {

constexpr const char *dpkgInfo = "/var/lib/dpkg/info";

// The package among candidates (every one dpkg knows when empty) whose file
// list in infoDir names path exactly; empty when none does.
QString of(const QString &path, const QString &infoDir = QLatin1String(dpkgInfo),
           const QStringList &candidates = QStringList());

} // namespace PackageOwner
