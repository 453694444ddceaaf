#pragma once
// One folder's entries as the disk scans see them: regular files and
// subfolders that are readable, not hidden (no leading dot) and not symbolic
// links. Devices, pipes and sockets are left out.
#include <QString>
#include <QVector>

struct DirectoryEntry {
  QString name;
  bool isDir = false;
  qint64 size = 0;         // files only
  qint64 modifiedSecs = 0; // files only, seconds since the epoch
};

// Appends the entries of the folder at path in the order the file system
// returns them, leaving out files smaller than minimumFileSize (checked
// first, so a scan for large files spends nothing on the small ones).
// Returns false when the folder cannot be opened.
bool listDirectory(const QString &path, qint64 minimumFileSize, QVector<DirectoryEntry> &entries);
