#pragma once
// An update as the service offers it: one gzip-compressed tar file of the
// payload folder (the installer beside the application, the engine and
// their data), so that it installs on its own.
//
// - It is unpacked only from the descriptor it was verified through, never
//   by its name, into a folder made afresh (0700) inside a folder that no one
//   else can change; tar runs without a shell and gives up no ownership.
// - The installer inside is started with "--update": it waits for the
//   process that started it to end, updates the recorded installation in
//   place and starts the application again.
#include <QString>

namespace UpdatePackage {

// The file name of the installer inside an update.
QString installerName();

// Unpacks the package open at packageFd into a new folder in parent and
// returns that folder; empty with error when it failed or holds no installer.
QString unpack(int packageFd, const QString &parent, QString &error);

// Starts the installer of an unpacked update, to run once process waitFor
// has ended.
bool startInstaller(const QString &folder, qint64 waitFor);

} // namespace UpdatePackage
