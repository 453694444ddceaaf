#pragma once
// How scans receive folders: the JSON text of an array of paths, or a
// comma-separated list; and the %NAME% expansion each folder goes through
// before it is walked.
#include <QStringList>

namespace FolderList {

// Empty entries are dropped; order and repeats stay. Array elements are taken
// as they are, comma-separated pieces are trimmed.
QStringList parse(const QString &argument);

// Whether the JSON array form holds an element {"hidden": true}: the scan
// then lists and enters hidden entries too. Elements that are not strings
// name no folder.
bool includesHidden(const QString &argument);

// Replaces %NAME% references to environment variables; unknown names stay as
// written. A result longer than the expansion buffer leaves the folder unchanged.
QString expand(const QString &folder);

} // namespace FolderList
