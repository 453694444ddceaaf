#include "cleanup/TrashFolders.h"

#include <QFile>
#include <QSet>

#include <set>
#include <utility>

#include <sys/stat.h>

#include "platform/storage/FileName.h"
#include "platform/storage/LinuxStorageInfo.h"

namespace {

// Kernel and network file systems hold no trash of ours, and looking at
// some of them (autofs) mounts things or stalls.
const QSet<QByteArray> &ignoredFileSystems() {
  static const QSet<QByteArray> types = {
      "proc",    "sysfs",      "cgroup",      "cgroup2",  "devtmpfs", "devpts",    "debugfs",
      "tracefs", "securityfs", "pstore",      "bpf",      "mqueue",   "hugetlbfs", "configfs",
      "fusectl", "autofs",     "binfmt_misc", "efivarfs", "nsfs",     "ramfs",     "rpc_pipefs",
      "nfs",     "nfs4",       "cifs",        "smb3",     "9p",       "fuse.sshfs"};
  return types;
}

QList<QByteArray> mountPoints(const QString &mountTable) {
  QList<QByteArray> points;
  QFile file(mountTable);
  if (!file.open(QIODevice::ReadOnly))
    return points;
  for (const QByteArray &line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.split(' ');
    const int separator = fields.indexOf("-");
    if (separator < 5 || separator + 1 >= fields.size())
      continue;
    if (!ignoredFileSystems().contains(fields[separator + 1]))
      points.append(LinuxStorageInfo::unescapeMountBytes(fields[4]));
  }
  return points;
}

using FolderId = std::pair<dev_t, ino_t>;

// A trash folder must be a real folder of the user, never a link to one.
bool ownFolder(const QByteArray &path, uid_t uid, FolderId &id) {
  struct stat info;
  if (lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid)
    return false;
  id = {info.st_dev, info.st_ino};
  return true;
}

} // namespace

QStringList trashFolders(const PrivacyEnvironment &environment, const QString &mountTable) {
  QStringList folders;
  std::set<FolderId> seen;
  auto add = [&](const QByteArray &path) {
    FolderId id;
    if (ownFolder(path, environment.uid, id) && seen.insert(id).second)
      folders.append(FileName::fromBytes(path));
  };
  add(FileName::toBytes(environment.dataHome + "/Trash"));
  const QByteArray uid = QByteArray::number(environment.uid);
  for (QByteArray top : mountPoints(mountTable)) {
    if (top.endsWith('/'))
      top.chop(1);
    struct stat shared;
    const QByteArray sharedTrash = top + "/.Trash";
    if (lstat(sharedTrash.constData(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX))
      add(sharedTrash + '/' + uid);
    add(top + "/.Trash-" + uid);
  }
  return folders;
}
