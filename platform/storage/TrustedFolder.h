#pragma once
// Opens a folder that only root and the running user can change, for code
// that creates files there and acts on them later: the swap helper running
// as root, and downloads that will be run as programs.
//
// - Every folder on the way, from "/", belongs to root or to us and is
//   writable by no one else, except a sticky folder (such as /tmp), whose
//   next entry must then belong to root or to us: no one else can replace it.
// - The folder itself belongs to us and no one else may write to it.
// - The walk goes one component at a time relative to the folder before,
//   never through a link; links above the folder itself are resolved once,
//   first, and the folders they lead to are checked instead. The folder
//   itself is never a link.
#include <QString>

#include "platform/storage/FileWalker.h"

namespace TrustedFolder {

// The folder's descriptor, or an invalid one with error saying why.
UniqueFd open(const QString &path, QString &error);

// As open(), making missing folders on the way, mode 0700.
UniqueFd openOrMake(const QString &path, QString &error);

} // namespace TrustedFolder
