#pragma once
// The recent-files list (an XBEL file) is cleaned by replacing it with an
// empty list, so programs that read it keep finding a valid one.
#include <QString>

// The bytes cleaning frees: the file's size while it lists anything (or is
// not a list at all), 0 for an empty list, a link or no file.
qint64 recentListBytes(const QString &path);

// Writes an empty list beside the file and renames it over the file, so a
// reader sees the old list or the empty one, never a part. A link in its
// place is replaced, its target left alone.
bool replaceWithEmptyRecentList(const QString &path);
