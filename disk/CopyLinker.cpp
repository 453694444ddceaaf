#include "disk/CopyLinker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

using Result = ListedFile::Result;

// What one dedupe request asks for at most; file systems may do less.
constexpr qint64 dedupeChunk = 16 << 20;
constexpr int extentsPerCall = 128;

// Bytes of the file's blocks that no other file shares: what sharing them
// gives back. -1 when the file system cannot tell.
qint64 unsharedBytes(int fd) {
  std::vector<char> buffer(sizeof(fiemap) + extentsPerCall * sizeof(fiemap_extent));
  auto *map = reinterpret_cast<fiemap *>(buffer.data());
  qint64 unshared = 0;
  for (quint64 start = 0;;) {
    std::memset(buffer.data(), 0, buffer.size());
    map->fm_start = start;
    map->fm_length = ~0ULL;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = extentsPerCall;
    if (::ioctl(fd, FS_IOC_FIEMAP, map) != 0)
      return -1;
    if (map->fm_mapped_extents == 0)
      return unshared;
    for (quint32 n = 0; n < map->fm_mapped_extents; ++n) {
      const fiemap_extent &extent = map->fm_extents[n];
      if (!(extent.fe_flags & FIEMAP_EXTENT_SHARED))
        unshared += qint64(extent.fe_length);
      if (extent.fe_flags & FIEMAP_EXTENT_LAST)
        return unshared;
      start = extent.fe_logical + extent.fe_length;
    }
  }
}

// Shares the copy's blocks with the kept file's, range by range, each range
// compared by the kernel first. Changed when a range differs; Failed with
// done 0 when the file system cannot share blocks.
Result dedupe(int kept, int copy, qint64 size, qint64 &done) {
  std::vector<char> buffer(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
  auto *range = reinterpret_cast<file_dedupe_range *>(buffer.data());
  for (done = 0; done < size;) {
    std::memset(buffer.data(), 0, buffer.size());
    range->src_offset = quint64(done);
    range->src_length = quint64(std::min(dedupeChunk, size - done));
    range->dest_count = 1;
    range->info[0].dest_fd = copy;
    range->info[0].dest_offset = quint64(done);
    if (::ioctl(kept, FIDEDUPERANGE, range) != 0)
      return Result::Failed;
    const file_dedupe_range_info &info = range->info[0];
    if (info.status == FILE_DEDUPE_RANGE_DIFFERS)
      return Result::Changed;
    if (info.status < 0 || info.bytes_deduped == 0) {
      errno = info.status < 0 ? -info.status : EIO;
      return Result::Failed;
    }
    done += qint64(info.bytes_deduped);
  }
  return Result::Shared;
}

bool sameContent(ReadOnlyFile &a, ReadOnlyFile &b) {
  std::vector<char> left(1 << 16), right(1 << 16);
  for (;;) {
    const qint64 count = a.read(left.data(), qint64(left.size()));
    if (count < 0 || b.read(right.data(), count) != count ||
        std::memcmp(left.data(), right.data(), size_t(count)) != 0)
      return false;
    if (count == 0)
      return true;
  }
}

// Still at the size and time listed, after everything read.
bool unchanged(const ReadOnlyFile &file, const ShownFiles::Entry &entry) {
  struct stat status;
  return ::fstat(file.handle(), &status) == 0 && entry.unchangedAt(status);
}

QString timeText(const struct timespec &time) {
  return QStringLiteral("%1.%2").arg(time.tv_sec).arg(time.tv_nsec, 9, 10, QLatin1Char('0'));
}

// A name beside the copy that nothing holds yet, made a link to the kept file.
Result linkBeside(const ListedFile::Found &copy, const ListedFile::Found &kept,
                  QByteArray &temporary) {
  for (int n = 1; n < 100; ++n) {
    temporary = ListedFile::besideName(copy.name, n);
    if (::linkat(kept.folder.get(), kept.name.constData(), copy.folder.get(), temporary.constData(),
                 0) == 0)
      return Result::Listed;
    if (errno == EXDEV)
      return Result::OtherFileSystem;
    if (errno != EEXIST)
      return errno == ENOENT ? Result::KeptChanged : Result::Failed;
  }
  return Result::Failed;
}

Result hardLink(const ListedFile::Found &copy, const ShownFiles::Entry &copyEntry,
                const ListedFile::Found &kept, const ShownFiles::Entry &keptEntry, qint64 &freed) {
  QByteArray temporary;
  const Result linked = linkBeside(copy, kept, temporary);
  if (linked != Result::Listed)
    return linked;
  const int folder = copy.folder.get();
  const auto drop = [&](Result result) {
    ::unlinkat(folder, temporary.constData(), 0);
    return result;
  };
  {
    ReadOnlyFile keptFile(folder, temporary.constData(), keptEntry.id, keptEntry.size);
    ReadOnlyFile copyFile(folder, copy.name.constData(), copyEntry.id, copyEntry.size);
    if (!keptFile.isOpen() || !unchanged(keptFile, keptEntry))
      return drop(Result::KeptChanged);
    if (!copyFile.isOpen())
      return drop(copyFile.error() == ENOENT ? Result::Gone : Result::Changed);
    if (!sameContent(keptFile, copyFile) || !unchanged(copyFile, copyEntry) ||
        !unchanged(keptFile, keptEntry))
      return drop(Result::Changed);
  }
  // The old copy must leave as the file compared.
  struct stat replaced;
  const Result swapped = ListedFile::swapIn(
      folder, temporary, copy.name,
      [&](const struct stat &left) {
        return FileId::of(left) == copyEntry.id && copyEntry.unchangedAt(left);
      },
      replaced);
  if (swapped != Result::Listed)
    return swapped;
  freed = replaced.st_nlink <= 1 ? qint64(replaced.st_blocks) * 512 : 0;
  return Result::Linked;
}

} // namespace

Result CopyLinker::replace(const ListedFile::Found &copy, const ShownFiles::Entry &copyEntry,
                           const ListedFile::Found &kept, const ShownFiles::Entry &keptEntry,
                           qint64 &freed, QJsonObject &noted) {
  freed = 0;
  if (copyEntry.size > 0) {
    ReadOnlyFile keptFile(kept.folder.get(), kept.name.constData(), keptEntry.id, keptEntry.size);
    ReadOnlyFile copyFile(copy.folder.get(), copy.name.constData(), copyEntry.id, copyEntry.size);
    if (!keptFile.isOpen())
      return Result::KeptChanged;
    if (!copyFile.isOpen())
      return Result::Changed;
    const qint64 unshared = unsharedBytes(copyFile.handle());
    qint64 done = 0;
    const Result shared = dedupe(keptFile.handle(), copyFile.handle(), copyEntry.size, done);
    if (shared == Result::Shared) {
      const qint64 left = unsharedBytes(copyFile.handle());
      freed = unshared > left && left >= 0 ? unshared - left : 0;
      return Result::Shared;
    }
    if (shared == Result::Changed || done > 0)
      return shared;
  }
  const Result linked = hardLink(copy, copyEntry, kept, keptEntry, freed);
  if (linked == Result::Linked) {
    const struct stat &status = copy.status; // as found, before any read
    noted = {{QStringLiteral("owner"), double(status.st_uid)},
             {QStringLiteral("group"), double(status.st_gid)},
             {QStringLiteral("mode"), double(status.st_mode & 07777)},
             {QStringLiteral("accessed"), timeText(status.st_atim)},
             {QStringLiteral("modified"), timeText(status.st_mtim)}};
  }
  return linked;
}
