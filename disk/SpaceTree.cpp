#include "disk/SpaceTree.h"

#include "platform/storage/FileName.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr quint32 none = 0xFFFFFFFF;
constexpr quint32 chunkBits = 20; // names are kept in chunks of 1 MiB
constexpr quint32 chunkSize = 1u << chunkBits;

} // namespace

struct SpaceTree::Folder {
  Sizes total;
  Sizes rest;
  quint64 inode = 0;
  quint32 name = 0;
  quint32 parent = none;
  quint32 firstChild = none;
  quint32 nextSibling = none;
  quint32 firstFile = none;
  quint32 restCount = 0;
  quint16 nameLength = 0;
  quint8 kept = 0;
  bool complete = false;
};

struct SpaceTree::File {
  Sizes sizes;
  quint64 inode = 0;
  qint64 modifiedNs = 0;
  quint32 name = 0;
  quint32 next = none;
  quint16 nameLength = 0;
  FileKind::Kind kind = FileKind::Other;

  quint64 weight() const { return std::max(sizes.allocated, sizes.apparent); }
};

// Every name once, end to end in chunks that never move.
class SpaceTree::Names {
public:
  quint32 add(const QByteArray &name) {
    if (chunks_.empty() || used_ + quint32(name.size()) > chunkSize) {
      chunks_.emplace_back(new char[chunkSize]);
      used_ = 0;
    }
    const quint32 offset = quint32((chunks_.size() - 1) << chunkBits) | used_;
    std::memcpy(chunks_.back().get() + used_, name.constData(), size_t(name.size()));
    used_ += quint32(name.size());
    return offset;
  }
  const char *at(quint32 offset) const {
    return chunks_[offset >> chunkBits].get() + (offset & (chunkSize - 1));
  }
  QByteArray text(quint32 offset, quint16 length) const { return QByteArray(at(offset), length); }
  bool equals(quint32 offset, quint16 length, const QByteArray &name) const {
    return length == name.size() && std::memcmp(at(offset), name.constData(), length) == 0;
  }

private:
  std::vector<std::unique_ptr<char[]>> chunks_;
  quint32 used_ = 0;
};

SpaceTree::SpaceTree(const QString &path, const struct stat &status)
    : path_(path), device_(quint64(status.st_dev)), names_(new Names) {
  Folder top;
  top.inode = quint64(status.st_ino);
  top.rest = {quint64(status.st_blocks) * 512, quint64(status.st_size)};
  top.total = top.rest;
  folders_.push_back(top);
}

SpaceTree::~SpaceTree() = default;

void SpaceTree::addUp(quint32 folder, const Sizes &sizes, bool subtract) {
  for (quint32 at = folder; at != none; at = folders_[at].parent) {
    if (subtract)
      folders_[at].total -= sizes;
    else
      folders_[at].total += sizes;
  }
}

quint32 SpaceTree::addFolder(quint32 parent, const WalkEntry &entry) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Folder folder;
  folder.inode = entry.id.inode;
  folder.name = names_->add(entry.name);
  folder.nameLength = quint16(entry.name.size());
  folder.parent = parent;
  folder.nextSibling = folders_[parent].firstChild;
  folder.rest = {quint64(entry.allocated), quint64(entry.size)};
  const quint32 index = quint32(folders_.size());
  folders_.push_back(folder);
  folders_[parent].firstChild = index;
  addUp(index, folder.rest);
  return index;
}

void SpaceTree::addFile(quint32 folder, const WalkEntry &entry) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++fileCount_;
  if (entry.linkCount > 1 && entry.type != EntryType::Directory) {
    if (linked_.contains(entry.id))
      return;
    linked_.insert(entry.id);
  }
  File file;
  file.sizes = {quint64(entry.allocated), quint64(entry.size)};
  addUp(folder, file.sizes);
  Folder &owner = folders_[folder];
  quint32 slot = none;
  if (owner.kept < keptFiles) {
    slot = quint32(files_.size());
    files_.emplace_back();
    files_[slot].next = owner.firstFile;
    owner.firstFile = slot;
    ++owner.kept;
  } else {
    quint32 smallest = owner.firstFile;
    for (quint32 at = owner.firstFile; at != none; at = files_[at].next)
      if (files_[at].weight() < files_[smallest].weight())
        smallest = at;
    File &least = files_[smallest];
    ++owner.restCount;
    if (least.weight() >= file.weight()) {
      owner.rest += file.sizes;
      return;
    }
    owner.rest += least.sizes; // its name stays in the arena, unused
    slot = smallest;
  }
  File &kept = files_[slot];
  kept.sizes = file.sizes;
  kept.inode = entry.id.inode;
  kept.modifiedNs = entry.modifiedNs;
  kept.name = names_->add(entry.name);
  kept.nameLength = quint16(entry.name.size());
  // A regular file's kind comes from its name when it is listed.
  kept.kind = entry.type == EntryType::File   ? FileKind::Other
              : entry.type == EntryType::Link ? FileKind::Link
                                              : FileKind::Special;
}

void SpaceTree::finishFolder(quint32 folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  folders_[folder].complete = true;
}

SpaceTree::Sizes SpaceTree::total() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return folders_[root].total;
}

quint64 SpaceTree::files() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return fileCount_;
}

quint64 SpaceTree::folders() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return folders_.size() - 1;
}

bool SpaceTree::relativeParts(const QString &path, QList<QByteArray> &parts) const {
  QString rest;
  if (path == path_)
    rest.clear();
  else if (path.startsWith(path_ + QLatin1Char('/')) || path_ == QLatin1String("/"))
    rest = path.mid(path_ == QLatin1String("/") ? 1 : path_.size() + 1);
  else
    return false;
  parts.clear();
  for (const QByteArray &part : FileName::toBytes(rest).split('/'))
    if (!part.isEmpty())
      parts.append(part);
  return path.startsWith(QLatin1Char('/'));
}

quint32 SpaceTree::findFolder(const QList<QByteArray> &parts) const {
  quint32 at = root;
  for (const QByteArray &part : parts) {
    quint32 child = folders_[at].firstChild;
    while (child != none && !names_->equals(folders_[child].name, folders_[child].nameLength, part))
      child = folders_[child].nextSibling;
    if (child == none)
      return none;
    at = child;
  }
  return at;
}

bool SpaceTree::list(const QString &path, Listing &listing) const {
  QList<QByteArray> parts;
  if (!relativeParts(path, parts))
    return false;
  const std::lock_guard<std::mutex> lock(mutex_);
  const quint32 at = findFolder(parts);
  if (at == none)
    return false;
  const Folder &folder = folders_[at];
  listing.total = folder.total;
  listing.rest = folder.rest;
  listing.restCount = folder.restCount;
  listing.complete = folder.complete;
  listing.id = {device_, folder.inode};
  listing.items.clear();
  for (quint32 child = folder.firstChild; child != none; child = folders_[child].nextSibling) {
    const Folder &sub = folders_[child];
    Item item;
    item.name = names_->text(sub.name, sub.nameLength);
    item.folder = true;
    item.complete = sub.complete;
    item.sizes = sub.total;
    item.id = {device_, sub.inode};
    listing.items.push_back(std::move(item));
  }
  for (quint32 file = folder.firstFile; file != none; file = files_[file].next) {
    const File &kept = files_[file];
    Item item;
    item.name = names_->text(kept.name, kept.nameLength);
    item.kind = kept.kind == FileKind::Other ? FileKind::of(names_->at(kept.name), kept.nameLength)
                                             : kept.kind;
    item.sizes = kept.sizes;
    item.id = {device_, kept.inode};
    item.modifiedNs = kept.modifiedNs;
    listing.items.push_back(std::move(item));
  }
  return true;
}

bool SpaceTree::remove(const QString &path, const std::function<bool(const FileId &)> &present) {
  QList<QByteArray> parts;
  if (!relativeParts(path, parts) || parts.isEmpty())
    return false;
  const QByteArray name = parts.takeLast();
  const std::lock_guard<std::mutex> lock(mutex_);
  const quint32 parent = findFolder(parts);
  if (parent == none)
    return false;
  Folder &owner = folders_[parent];
  for (quint32 *link = &owner.firstChild; *link != none; link = &folders_[*link].nextSibling) {
    Folder &sub = folders_[*link];
    if (names_->equals(sub.name, sub.nameLength, name)) {
      if (present({device_, sub.inode}))
        return false;
      addUp(parent, sub.total, true);
      *link = sub.nextSibling;
      return true;
    }
  }
  for (quint32 *link = &owner.firstFile; *link != none; link = &files_[*link].next) {
    File &file = files_[*link];
    if (names_->equals(file.name, file.nameLength, name)) {
      if (present({device_, file.inode}))
        return false;
      addUp(parent, file.sizes, true);
      *link = file.next;
      --owner.kept;
      return true;
    }
  }
  return false;
}
