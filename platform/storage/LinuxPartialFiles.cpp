#include "platform/storage/PartialFiles.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/storage/FileWalker.h"

namespace {

constexpr int nameBytes = 200;
const QByteArray suffix = ".part";

// ".NAME.<hex>.part", for any NAME when name is empty.
bool isPartialOf(const QByteArray &entry, const QByteArray &name) {
  if (!entry.startsWith('.') || !entry.endsWith(suffix))
    return false;
  const QByteArray middle = entry.mid(1, entry.size() - 1 - suffix.size());
  const int dot = middle.lastIndexOf('.');
  if (dot <= 0 || dot == middle.size() - 1)
    return false;
  for (const char c : middle.mid(dot + 1)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  }
  return name.isEmpty() || middle.left(dot) == name.left(nameBytes);
}

} // namespace

namespace PartialFiles {

QByteArray nameFor(const QByteArray &name) {
  static thread_local std::mt19937 random{std::random_device{}()};
  char hex[16];
  std::snprintf(hex, sizeof hex, ".%08x", unsigned(random()));
  return QByteArray(".") + name.left(nameBytes) + QByteArray(hex) + suffix;
}

bool markInUse(int fd) {
  int locked;
  do
    locked = ::flock(fd, LOCK_EX);
  while (locked != 0 && errno == EINTR);
  return locked == 0;
}

void removeStale(int folder, const QByteArray &name) {
  DIR *listing = ::fdopendir(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing)
    return;
  while (const dirent *entry = ::readdir(listing)) {
    if (!isPartialOf(QByteArray(entry->d_name), name))
      continue;
    const UniqueFd file(
        ::openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held, named;
    if (file.isValid() && ::fstat(file.get(), &held) == 0 && S_ISREG(held.st_mode) &&
        held.st_uid == ::geteuid() && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        FileId::of(held) == FileId::of(named))
      ::unlinkat(folder, entry->d_name, 0);
  }
  ::closedir(listing);
}

} // namespace PartialFiles
