#pragma once
// Moves a user's file to the Trash, as desktops share it (the freedesktop.org
// Trash layout), so that file managers, gio and trash-cli list and restore it:
//
// - A file on the file system of $XDG_DATA_HOME (~/.local/share) goes to the
//   home trash, $XDG_DATA_HOME/Trash. A file on another file system goes to
//   that file system's top folder: $top/.Trash/$uid when .Trash is a sticky
//   folder and not a link, else $top/.Trash-$uid, made 0700. The file is never
//   copied across file systems: it moves with one rename on its own mount, or
//   not at all.
// - Without a usable home trash nothing is trashed, so a fault there never
//   sends a home file to a top folder's trash.
// - Every trash folder is opened step by step without following a link and
//   must be a folder of ours (the shared .Trash: sticky, not a link); folders
//   made on the way are 0700. The trash's "files" folder must be on the same
//   mount as the file.
// - The NAME.trashinfo ([Trash Info], Path= percent-encoded, DeletionDate= in
//   local time) is created exclusively (O_EXCL) before the move: that create
//   reserves a name no one else holds ("name", "name.2", "name.3"...). The
//   move never replaces an entry of "files"; when it fails, the info file is
//   removed again.
// - The file is moved from an open descriptor of the folder holding it, by
//   its name there, so a path re-resolved later cannot lead elsewhere.
// - A restore puts back only the very file trashed (device, inode) whose
//   info file still names the same place, never over an entry that has
//   appeared there since, and then removes the info file.
#include "platform/storage/FileWalker.h"

#include <QByteArray>

namespace Trash {

// Where a file went: the trash folder (holding "files" and "info") and its
// name in "files".
struct Trashed {
  QByteArray folder;
  QByteArray name;
};

// Moves name (in the open folder parent) to the trash of its file system.
// path is where the file was, absolute, as bytes: what Path= records. 0 once
// moved, else an errno value (EXDEV when no trash on the file's own mount
// can be used). where, when given, says where it went.
int moveToTrash(int parent, const QByteArray &name, const QByteArray &path,
                Trashed *where = nullptr);

enum class Restore {
  Restored,
  NotInTrash, // emptied, restored elsewhere, or another file holds its name now
  Occupied,   // something is at the original place
  Failed      // errno tells
};

// Moves the file trashed as where, which must still be file, back to name in
// the open folder parent; path is its original place, as Path= recorded it.
Restore restore(const Trashed &where, const FileId &file, int parent, const QByteArray &name,
                const QByteArray &path);

// Path=: the path with every byte but unreserved ones and '/' written %XX.
QByteArray encodedPath(const QByteArray &path);

} // namespace Trash
