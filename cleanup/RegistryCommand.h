#pragma once
// Which uninstall registrations may start their command. The registry store
// is the user's own and pages write to it, so a registration vouches for
// nothing by itself; its command starts only when:
// - its program, links resolved, is an existing regular file that may be
//   executed, given by an absolute path;
// - that file lies inside the registration's InstallLocation: it is the
//   uninstaller an installation brought along (ours among them);
// - that folder is not "/" nor the home folder, and neither lies in nor
//   holds a folder of the system's programs (each PATH folder, /usr, /bin,
//   /sbin, /lib*, /etc): shells, interpreters and the dynamic loader, which
//   run whatever their arguments say, are never an installation's own;
// - its parameters become arguments; no shell ever reads them.
#include <QString>

#include "cleanup/InstalledProgram.h"

namespace RegistryCommand {

struct CommandLine {
  QString program;
  QString parameters;
};
// A registration's command: a quoted program, else up to the first space
// (unless the whole command names an existing file), then the parameters.
CommandLine split(const QString &command);

// The removal of a registration: its program (resolved) and arguments, or
// a refusal that says why.
UninstallAction actionFor(const QString &uninstallString, const QString &installLocation);

} // namespace RegistryCommand
