#pragma once
// Files that hold the user's data (settings, the registry store, logs) are
// readable by their owner only:
// - files 0600 and their folder 0700, also when an older version left them
//   readable by everyone;
// - nothing is followed through a link, and only what the user owns is
//   changed.
#include <QString>

namespace PrivateFiles {

// Creates folder with its missing parents and makes the folder itself 0700.
// False when it cannot be made or is not a folder of ours.
bool makeFolder(const QString &folder);

// Makes the file 0600, creating it empty when missing (the folder must
// exist). False when it cannot be made or is not a regular file of ours.
bool makeFile(const QString &path);

// Makes the file 0600 when it is there; true when it is missing.
bool tighten(const QString &path);

// The product's folder for what lives only while the user's session does
// (locks, sockets, key files): $XDG_RUNTIME_DIR/Tidewell, or in the user's
// cache folder where there is no runtime folder.
QString runtimeFolder();

} // namespace PrivateFiles
