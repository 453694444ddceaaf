#pragma once
// Which Debian package installed a file, from dpkg's file lists: a program
// installed that way is updated and removed by the package manager, never
// by our own installer.
#include <QHash>
#include <QString>
#include <QStringList>

namespace PackageOwner {

constexpr const char *dpkgInfo = "/var/lib/dpkg/info";

// The package among candidates (every one dpkg knows when empty) whose file
// list in infoDir names path exactly; empty when none does.
QString of(const QString &path, const QString &infoDir = QLatin1String(dpkgInfo),
           const QStringList &candidates = QStringList());

// The list ("name" or "name:arch") first by name of every list in infoDir
// naming each path; paths no list names are left out. The answers are kept
// in the user's cache until a package is installed or removed.
QHash<QString, QString> owners(const QStringList &paths,
                               const QString &infoDir = QLatin1String(dpkgInfo));

} // namespace PackageOwner
