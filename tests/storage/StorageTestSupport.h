#pragma once
// Real trees for the storage tests: made with the system calls themselves, so
// names may be any bytes and paths longer than PATH_MAX.
#include "platform/storage/FileWalker.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

// Paths from a walk's root, made from the names the walker reports.
struct WalkPaths {
  std::vector<QByteArray> folders; // by depth, the path of the folder last entered
  QByteArray operator()(const WalkEntry &entry) {
    const size_t depth = size_t(entry.depth);
    const QByteArray path = depth == 1 ? entry.name : folders[depth - 2] + '/' + entry.name;
    if (entry.type == EntryType::Directory) {
      folders.resize(depth - 1);
      folders.push_back(path);
    }
    return path;
  }
};

// A temporary folder, removed with everything in it (however deep) at the end.
class ByteTree {
public:
  ByteTree() : root_(FileWalker::openDirectory(path(), false)) {}
  ~ByteTree() { FileWalker::removeTree(root_.get(), "."); }

  QByteArray path() const { return QFile::encodeName(dir_.path()); }
  int fd() const { return root_.get(); }

  // Writes content at relative (folders made as needed), relative to the root.
  bool write(const QByteArray &relative, const QByteArray &content) const {
    const UniqueFd folder = parentOf(relative, true);
    const int out = ::openat(folder.get(), nameOf(relative).constData(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0)
      return false;
    const bool ok = ::write(out, content.constData(), size_t(content.size())) == content.size();
    ::close(out);
    return ok;
  }
  bool mkdir(const QByteArray &relative) const {
    const UniqueFd folder = parentOf(relative, true);
    return ::mkdirat(folder.get(), nameOf(relative).constData(), 0755) == 0;
  }
  bool symlink(const QByteArray &target, const QByteArray &relative) const {
    const UniqueFd folder = parentOf(relative, true);
    return ::symlinkat(target.constData(), folder.get(), nameOf(relative).constData()) == 0;
  }
  bool fifo(const QByteArray &relative) const {
    const UniqueFd folder = parentOf(relative, true);
    return ::mkfifoat(folder.get(), nameOf(relative).constData(), 0644) == 0;
  }
  bool hardlink(const QByteArray &existing, const QByteArray &relative) const {
    return ::linkat(root_.get(), existing.constData(), root_.get(), relative.constData(), 0) == 0;
  }
  bool exists(const QByteArray &relative) const {
    const UniqueFd folder = parentOf(relative, false);
    struct stat status;
    return folder.isValid() &&
           ::fstatat(folder.get(), nameOf(relative).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0;
  }
  // A chain of depth folders "d/d/d/..." below relative, with a file "f"
  // holding content in the deepest; returns the chain's relative path.
  QByteArray deepChain(const QByteArray &relative, int depth, const QByteArray &content) const {
    if (!relative.isEmpty())
      mkdir(relative);
    UniqueFd current(::openat(root_.get(), relative.isEmpty() ? "." : relative.constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QByteArray chain = relative;
    for (int i = 0; i < depth; ++i) {
      ::mkdirat(current.get(), "d", 0755);
      current.reset(::openat(current.get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      chain += chain.isEmpty() ? "d" : "/d";
    }
    const int out = ::openat(current.get(), "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (::write(out, content.constData(), size_t(content.size())) != content.size())
      chain.clear();
    ::close(out);
    return chain;
  }

private:
  static QByteArray nameOf(const QByteArray &relative) {
    return relative.mid(relative.lastIndexOf('/') + 1);
  }
  UniqueFd parentOf(const QByteArray &relative, bool make) const {
    UniqueFd current(::openat(root_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QList<QByteArray> parts = relative.split('/');
    for (int i = 0; i + 1 < parts.size(); ++i) {
      if (make)
        ::mkdirat(current.get(), parts[i].constData(), 0755);
      current.reset(
          ::openat(current.get(), parts[i].constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return current;
  }

  QTemporaryDir dir_;
  UniqueFd root_;
};
