#pragma once
// Package and app ids as each packager defines them. An id goes to a
// removal tool as an argument after "--", and only when it has its
// packager's form: a name read from a menu entry or a status file that is
// not one (an option such as "--all", a list, a path) is no program.
#include <QString>

namespace PackageNames {

// Flatpak: at most 255 characters, at least three dot-separated elements of
// [A-Za-z0-9_], none starting with a digit; the last may also hold "-".
bool isFlatpakAppId(const QString &id);
// Snap: a snap name (at most 40 of [a-z0-9-], a letter among them, no "-"
// at either end nor two together), optionally "_" and an instance key of 1
// to 10 of [a-z0-9].
bool isSnapInstanceName(const QString &name);
// Debian policy: [a-z0-9][a-z0-9+.-]+.
bool isDebianPackage(const QString &name);
// What a PackageKit id joins with ";": a version and an architecture
// without separators of their own.
bool isDebianVersion(const QString &version);
bool isDebianArchitecture(const QString &architecture);

} // namespace PackageNames
