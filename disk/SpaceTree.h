#pragma once
// The space a folder's tree holds, as a scan adds it up, compact enough for
// millions of entries:
//
// - Folders are nodes holding the totals of everything below them, both the
//   allocated blocks and the apparent sizes. Of the files only the largest
//   few of each folder keep a node; the others are summed into their
//   folder's rest. Names live in one arena.
// - Each size goes to every ancestor when it is added, so a tree still being
//   walked is a true picture of what was walked so far.
// - A hard-linked file counts once, where it was met first (as du does).
// - One mutex guards it all: the scan's worker adds while the page reads.
#include "disk/FileKind.h"
#include "platform/storage/FileWalker.h"

#include <QSet>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class SpaceTree {
public:
  struct Sizes {
    quint64 allocated = 0; // blocks on disk
    quint64 apparent = 0;  // bytes the entries say they hold
    Sizes &operator+=(const Sizes &other) {
      allocated += other.allocated;
      apparent += other.apparent;
      return *this;
    }
    Sizes &operator-=(const Sizes &other) {
      allocated -= std::min(allocated, other.allocated);
      apparent -= std::min(apparent, other.apparent);
      return *this;
    }
  };
  // One folder or kept file as a listing shows it.
  struct Item {
    QByteArray name;
    bool folder = false;
    FileKind::Kind kind = FileKind::Other;
    bool complete = true; // a folder walked to its end
    Sizes sizes;
    FileId id;
    qint64 modifiedNs = 0;
  };
  struct Listing {
    Sizes total;
    Sizes rest; // the folder's own entry and its files not kept by name
    quint32 restCount = 0;
    bool complete = false;
    FileId id;
    std::vector<Item> items; // in no particular order
  };

  static constexpr quint32 root = 0;
  // Files of a folder kept by name, the largest (by the larger of the two sizes).
  static constexpr int keptFiles = 64;

  // The folder at path, as its own open descriptor's fstat gave it.
  SpaceTree(const QString &path, const struct stat &status);
  ~SpaceTree();

  const QString &path() const { return path_; }

  // Worker side: entries as the walker reports them, below a folder index.
  quint32 addFolder(quint32 parent, const WalkEntry &entry);
  void addFile(quint32 folder, const WalkEntry &entry);
  void finishFolder(quint32 folder);

  Sizes total() const;
  quint64 files() const;
  quint64 folders() const;

  // Page side: the folder at path (the root or below it); false when the
  // tree holds no such folder.
  bool list(const QString &path, Listing &listing) const;
  // Takes the folder or kept file at path out of the tree and its sizes out
  // of its ancestors, unless present says the item is still there. False
  // when the tree holds no such item or it stays.
  bool remove(const QString &path, const std::function<bool(const FileId &)> &present);

private:
  struct Folder;
  struct File;
  class Names;

  quint32 findFolder(const QList<QByteArray> &parts) const;
  bool relativeParts(const QString &path, QList<QByteArray> &parts) const;
  void addUp(quint32 folder, const Sizes &sizes, bool subtract = false);

  const QString path_;
  const quint64 device_;
  mutable std::mutex mutex_;
  std::deque<Folder> folders_;
  std::deque<File> files_;
  std::unique_ptr<Names> names_;
  QSet<FileId> linked_; // files with more than one name, met already
  quint64 fileCount_ = 0;
};
