#pragma once
// The recent-files list (an XBEL file) is cleaned by replacing it with an
// empty list, so programs that read it keep finding a valid one. Both work
// on the name in an open folder; anything but a regular file there (a link
// above all) is left alone.
#include <QByteArray>

#include "cleanup/PrivacyTree.h"

// The bytes cleaning frees: the file's size while it lists anything (or is
// not a list at all), 0 for an empty list, a link or no file.
qint64 recentListBytes(int folder, const QByteArray &name);

// Writes an empty list beside the file and renames it over the file, so a
// reader sees the old list or the empty one, never a part. One entry deleted
// when replaced, one not deleted when that failed, none when there is no
// list or something other than a file stands in its place.
CleanCount emptyRecentList(int folder, const QByteArray &name);
