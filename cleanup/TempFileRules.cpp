#include "cleanup/TempFileRules.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <ctime>
#include <utility>

namespace {

// Folders of the X server, the session manager and systemd, and Qt's
// shared-memory key files, whose loss breaks running programs.
const QList<QByteArray> &excludedNames() {
  static const QList<QByteArray> names = {".X11-unix", ".ICE-unix", ".XIM-unix", ".font-unix",
                                          ".Test-unix"};
  return names;
}
const QList<QByteArray> &excludedPrefixes() {
  static const QList<QByteArray> prefixes = {"systemd-private-", "qipc_"};
  return prefixes;
}

QList<QByteArray> entryNames(const QByteArray &folder) {
  QList<QByteArray> names;
  if (DIR *dir = opendir(folder.constData())) {
    while (const dirent *entry = readdir(dir))
      if (entry->d_name[0] != '.')
        names.append(entry->d_name);
    closedir(dir);
  }
  return names;
}

void addStat(QSet<FileId> &files, const QByteArray &path) {
  struct stat info;
  if (stat(path.constData(), &info) == 0)
    files.insert({quint64(info.st_dev), quint64(info.st_ino)});
}

// Lines of /proc/PID/maps: "address perms offset MAJOR:MINOR inode path".
void addMappings(QSet<FileId> &files, const QByteArray &mapsFile) {
  QFile maps(QFile::decodeName(mapsFile));
  if (!maps.open(QIODevice::ReadOnly))
    return;
  for (const QByteArray &line : maps.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() < 6)
      continue;
    const QList<QByteArray> device = fields[3].split(':');
    bool inodeOk = false;
    const quint64 inode = fields[4].toULongLong(&inodeOk);
    if (device.size() != 2 || !inodeOk || inode == 0)
      continue;
    files.insert(
        {quint64(makedev(device[0].toUInt(nullptr, 16), device[1].toUInt(nullptr, 16))), inode});
  }
}

} // namespace

QSet<FileId> filesInUse(const QString &procFolder) {
  QSet<FileId> files;
  const QByteArray proc = QFile::encodeName(procFolder);
  for (const QByteArray &pid : entryNames(proc)) {
    bool numeric = false;
    pid.toLongLong(&numeric);
    if (!numeric)
      continue;
    const QByteArray base = proc + '/' + pid;
    addStat(files, base + "/cwd");
    const QByteArray fdFolder = base + "/fd";
    for (const QByteArray &fd : entryNames(fdFolder))
      addStat(files, fdFolder + '/' + fd);
    addMappings(files, base + "/maps");
  }
  return files;
}

TempFileRules::TempFileRules(uid_t uid, qint64 nowSecs, QSet<FileId> inUse)
    : uid_(uid), nowSecs_(nowSecs), inUse_(std::move(inUse)) {}

TempFileRules TempFileRules::current(uid_t uid) {
  return TempFileRules(uid, qint64(time(nullptr)), filesInUse());
}

bool TempFileRules::isExcludedName(const QByteArray &name) {
  if (excludedNames().contains(name))
    return true;
  for (const QByteArray &prefix : excludedPrefixes())
    if (name.startsWith(prefix))
      return true;
  return false;
}

bool TempFileRules::mayEnter(const WalkEntry &entry) const {
  return entry.type == EntryType::Directory && !entry.otherFileSystem && entry.owner == uid_ &&
         !isExcludedName(entry.name);
}

bool TempFileRules::mayDelete(const WalkEntry &entry) const {
  return (entry.type == EntryType::File || entry.type == EntryType::Directory) &&
         !entry.otherFileSystem && entry.owner == uid_ && !isExcludedName(entry.name) &&
         nowSecs_ - entry.modifiedSecs >= minimumAgeSecs && !inUse_.contains(entry.id);
}
