#include "disk/FileList.h"

#include "platform/storage/FileName.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QPair>
#include <QSet>

#include <algorithm>
#include <fcntl.h>
#include <numeric>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// Paths below a top folder that one call resolves: well within PATH_MAX, and
// few folders deep, so that resolving them costs less than opening a folder.
constexpr int shortPath = 1024;

// What the process may have open at once.
qint64 descriptorLimit() {
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 1024;
  return limit.rlim_cur == RLIM_INFINITY ? qint64(1) << 20 : qint64(limit.rlim_cur);
}

} // namespace

int FileList::addRoot(const QString &path, const FileId &id) {
  Folder root;
  root.nameLength = roots_.size();
  root.id = id;
  roots_.append(path);
  folders_.push_back(root);
  return int(folders_.size()) - 1;
}

int FileList::addFolder(int parent, const QByteArray &name, const FileId &id) {
  Folder folder;
  folder.parent = parent;
  folder.nameStart = quint32(names_.size());
  folder.nameLength = name.size();
  folder.id = id;
  names_.append(name.constData(), size_t(name.size()));
  folders_.push_back(folder);
  return int(folders_.size()) - 1;
}

void FileList::addFile(int folder, const WalkEntry &entry) {
  File file;
  file.size = entry.size;
  file.modifiedNs = entry.modifiedNs;
  file.changedNs = entry.changedNs;
  file.inode = entry.id.inode;
  file.folder = folder;
  file.nameStart = quint32(names_.size());
  const int length = std::min(entry.name.size(), 0xffff); // longer than any file system allows
  names_.push_back(char(length & 0xff));
  names_.push_back(char(length >> 8));
  names_.append(entry.name.constData(), size_t(length));
  names_.push_back('\0');
  files_.push_back(file);
}

void FileList::append(const FileList &other) {
  const int folderBase = int(folders_.size());
  const int rootBase = roots_.size();
  const quint32 nameBase = quint32(names_.size());
  names_ += other.names_;
  roots_ += other.roots_;
  skippedHidden_ += other.skippedHidden_;
  for (Folder folder : other.folders_) {
    if (folder.parent < 0) {
      folder.nameLength += rootBase;
    } else {
      folder.parent += folderBase;
      folder.nameStart += nameBase;
    }
    folders_.push_back(folder);
  }
  for (File file : other.files_) {
    file.folder += folderBase;
    file.nameStart += nameBase;
    files_.push_back(file);
  }
}

QByteArray FileList::relativePath(const File &file, int limit) const {
  std::vector<int> chain;
  int length = nameLength(file);
  for (int f = file.folder; folders_[size_t(f)].parent >= 0; f = folders_[size_t(f)].parent) {
    chain.push_back(f);
    length += folders_[size_t(f)].nameLength + 1;
    if (length > limit)
      return QByteArray();
  }
  QByteArray path;
  path.reserve(length);
  for (auto f = chain.rbegin(); f != chain.rend(); ++f) {
    const Folder &entry = folders_[size_t(*f)];
    path.append(names_.data() + entry.nameStart, entry.nameLength);
    path.append('/');
  }
  return path.append(nameOf(file), nameLength(file));
}

int FileList::topOf(int folder) const {
  while (folders_[size_t(folder)].parent >= 0)
    folder = folders_[size_t(folder)].parent;
  return folder;
}

FileRecord FileList::record(int index) const {
  const File &file = at(index);
  const QString &top = roots_.at(folders_[size_t(topOf(file.folder))].nameLength);
  FileRecord record;
  record.path = top;
  if (!top.endsWith(QLatin1Char('/')))
    record.path += QLatin1Char('/');
  record.path += FileName::fromBytes(relativePath(file));
  record.size = file.size;
  record.modifiedNs = file.modifiedNs;
  // Whole seconds, rounded down also before 1970.
  record.modifiedSecs = file.modifiedNs / 1000000000 - (file.modifiedNs % 1000000000 < 0);
  record.id = id(index);
  record.folder = folders_[size_t(file.folder)].id;
  return record;
}

std::vector<int> FileList::distinct() const {
  // Only a file in a folder met more than once (given twice, or inside
  // another folder given) can be there twice. Such a folder stands for the
  // first of its identity, and each name in it is kept once.
  std::vector<int> used; // the folders holding files, by identity
  for (const File &file : files_)
    used.push_back(file.folder);
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  const auto key = [this](int f) {
    return std::make_tuple(folders_[size_t(f)].id.device, folders_[size_t(f)].id.inode, f);
  };
  std::sort(used.begin(), used.end(), [&](int a, int b) { return key(a) < key(b); });
  std::vector<int> canonical(folders_.size(), -1); // -1: met once
  for (size_t k = 1; k < used.size(); ++k) {
    const int previous = used[k - 1];
    if (folders_[size_t(used[k])].id == folders_[size_t(previous)].id) {
      if (canonical[size_t(previous)] < 0)
        canonical[size_t(previous)] = previous;
      canonical[size_t(used[k])] = canonical[size_t(previous)];
    }
  }
  std::vector<int> order;
  order.reserve(files_.size());
  QSet<QPair<int, QByteArray>> seen;
  for (int i = 0; i < size(); ++i) {
    const File &file = at(i);
    const int folder = canonical[size_t(file.folder)];
    if (folder >= 0) {
      const QPair<int, QByteArray> name(folder, QByteArray(nameOf(file), nameLength(file)));
      if (seen.contains(name))
        continue;
      seen.insert(name);
    }
    order.push_back(i);
  }
  return order;
}

std::vector<int> FileList::bySize() const {
  std::vector<int> order = distinct();
  std::sort(order.begin(), order.end(),
            [this](int a, int b) { return files_[size_t(a)].size > files_[size_t(b)].size; });
  return order;
}

qint64 FileList::textRoom(const std::vector<int> &indexes) const {
  // Names come twice (name and path), each byte one character at most, two
  // with its escape.
  std::vector<qint64> folderBytes(folders_.size());
  for (size_t f = 0; f < folders_.size(); ++f) {
    const Folder &folder = folders_[f];
    folderBytes[f] = folder.parent < 0
                         ? 2 * roots_.at(folder.nameLength).size() + 2
                         : folderBytes[size_t(folder.parent)] + 2 * folder.nameLength + 2;
  }
  qint64 room = 0;
  for (int index : indexes) {
    const File &file = at(index);
    room += 220 + 4 * nameLength(file) + folderBytes[size_t(file.folder)];
  }
  return room;
}

QString FileList::listText(const std::vector<int> &order) const {
  if (order.empty()) {
    QString text = QStringLiteral("{\n    \"list\": [\n    ]");
    appendSkippedHidden(text);
    return text + QStringLiteral("\n}\n");
  }
  // Room for the whole text at once, so it never moves while it grows; room
  // never written is never touched.
  const qint64 room = 32 + textRoom(order);
  QString text;
  text.reserve(int(std::min<qint64>(room, 1 << 29)));
  text += QLatin1String("{\n    \"list\": [\n");
  bool first = true;
  for (int index : order) {
    if (!first)
      text += QLatin1String(",\n");
    first = false;
    record(index).appendJson(text, 8);
  }
  text += QLatin1String("\n    ]");
  appendSkippedHidden(text);
  text += QLatin1String("\n}\n");
  return text;
}

void FileList::appendSkippedHidden(QString &text) const {
  if (skippedHidden_ > 0) {
    text += QLatin1String(",\n    \"skippedHidden\": ");
    text += FileRecord::numberText(skippedHidden_);
  }
}

FileList::Opener::Opener(const FileList &list, int workers, int wanted, int folderLimit)
    : list_(list) {
  // A quarter of the limit, at most 256, stays for everything else the
  // process has open; the files get at most half of the rest.
  const qint64 limit = descriptorLimit();
  const qint64 available = std::max<qint64>(limit - std::min<qint64>(256, limit / 4), 8);
  filesPerWorker_ = int(std::clamp<qint64>(available / 2 / std::max(workers, 1), 1, wanted));
  capacity_ =
      size_t(std::clamp<qint64>(available - qint64(workers) * filesPerWorker_, 4, folderLimit));
}

std::unique_ptr<ReadOnlyFile> FileList::Opener::open(int index) {
  const File &file = list_.at(index);
  // A file not far below its top folder is opened beneath that in one call,
  // so that no folder on the way is opened again; a deeper one from its own
  // folder, which its neighbours in the tree share.
  const QByteArray relative = list_.relativePath(file, shortPath);
  const int from = relative.isEmpty() ? file.folder : list_.topOf(file.folder);
  int parent;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    parent = folderFd(from);
    if (parent >= 0)
      ++held_[from].users;
  }
  std::unique_ptr<ReadOnlyFile> opened;
  if (relative.isEmpty())
    opened = std::make_unique<ReadOnlyFile>(parent, list_.nameOf(file), list_.id(index), file.size);
  else
    opened = std::make_unique<ReadOnlyFile>(
        parent >= 0 ? FileWalker::openFileBeneath(parent, relative) : UniqueFd(), list_.id(index),
        file.size);
  if (parent >= 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    --held_[from].users;
  }
  return opened;
}

int FileList::Opener::folder(int index) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return folderFd(index);
}

int FileList::Opener::folderFd(int folder) {
  // The folder and its ancestors up to the first one held open.
  std::vector<int> chain;
  int fd = -1;
  for (int f = folder; f >= 0; f = list_.folders_[size_t(f)].parent) {
    const auto held = held_.find(f);
    if (held != held_.end()) {
      held->second.lastUse = ++uses_;
      fd = held->second.fd.get();
      break;
    }
    chain.push_back(f);
  }
  for (auto f = chain.rbegin(); f != chain.rend(); ++f) {
    const Folder &entry = list_.folders_[size_t(*f)];
    UniqueFd opened;
    if (entry.parent < 0) {
      opened =
          FileWalker::openDirectory(FileName::toBytes(list_.roots_.at(entry.nameLength)), true);
    } else if (fd >= 0) {
      const std::string name(list_.names_.data() + entry.nameStart, size_t(entry.nameLength));
      int got;
      do {
        got = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      } while (got < 0 && errno == EINTR);
      opened.reset(got);
    }
    struct stat status;
    if (opened.isValid() && (::fstat(opened.get(), &status) != 0 ||
                             !(entry.id == FileId{quint64(status.st_dev), quint64(status.st_ino)})))
      opened.reset(); // no longer the folder that was walked
    if (!opened.isValid())
      return -1;
    fd = opened.get();
    if (held_.size() >= capacity_) { // the one left unused longest makes room
      auto oldest = held_.end();
      for (auto h = held_.begin(); h != held_.end(); ++h) {
        if (h->second.users == 0 &&
            (oldest == held_.end() || h->second.lastUse < oldest->second.lastUse))
          oldest = h;
      }
      if (oldest != held_.end())
        held_.erase(oldest);
    }
    Held &held = held_[*f];
    held.fd = std::move(opened);
    held.lastUse = ++uses_;
  }
  return fd;
}
