#pragma once
// The files a scan found, kept compactly: names as the bytes the file system
// gave, each file pointing at its folder, each folder at its parent, up to
// the folder the walk began at. A text path (FileRecord) is made only for a
// file that is sent. Found files are opened again through their folders'
// descriptors, never by path.
#include "disk/FileRecord.h"
#include "platform/storage/FileWalker.h"

#include <QString>
#include <QStringList>

#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class ReadOnlyFile;

class FileList {
public:
  // 40 bytes: a large tree has hundreds of thousands.
  struct File {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0; // ctime
    quint64 inode = 0;    // the device is the folder's: a walk stays on one file system
    int folder = 0;
    quint32 nameStart = 0; // in names_: the length in two bytes, the name, a NUL
  };

  // A folder a walk begins at: its absolute, clean path as records show it.
  int addRoot(const QString &path, const FileId &id);
  // A subfolder the walk entered.
  int addFolder(int parent, const QByteArray &name, const FileId &id);
  void addFile(int folder, const WalkEntry &entry);
  // Appends the files and folders of other, after those already here.
  void append(const FileList &other);

  int size() const { return int(files_.size()); }
  bool isEmpty() const { return files_.empty(); }
  const File &at(int index) const { return files_[size_t(index)]; }
  FileId id(int index) const {
    return {folders_[size_t(at(index).folder)].id.device, at(index).inode};
  }
  FileRecord record(int index) const;
  // Folders as the walks added them (a folder listed twice is there twice).
  int folderCount() const { return int(folders_.size()); }
  FileId folderId(int folder) const { return folders_[size_t(folder)].id; }

  // Indexes of all files, largest first; equal sizes in no particular order
  // (the order std::sort gives for the list as found). A file is there once
  // however many listed folders reach it (a folder given twice, or inside
  // another): a name in a folder met again is left out. Other names of one
  // file (hard links) stay.
  std::vector<int> bySize() const;
  // {"list": [records]} in the given order, as QJsonDocument writes it, with
  // "skippedHidden" after the list when hidden entries were left out.
  QString listText(const std::vector<int> &order) const;

  // Hidden folders, and hidden files large enough to be listed, that a walk
  // left out.
  void countSkippedHidden(int count) { skippedHidden_ += count; }
  qint64 skippedHidden() const { return skippedHidden_; }
  // Characters the JSON texts of these files take at most (escapes
  // included, but for QJsonDocument's own escapes of control characters).
  qint64 textRoom(const std::vector<int> &indexes) const;

  // Opens found files again: beneath their top folder by their names below
  // it, in one call through no link and on that folder's mount only
  // (FileWalker::openFileBeneath), or, deep down, through their own folder.
  // The folders are opened as the walk did (no link followed, each checked
  // to be the folder listed) and many are kept open, shared by all threads:
  // files compared by content lie in folders all over the tree.
  class Opener {
  public:
    // For workers threads, each wanting up to wanted files open at once
    // besides the folders held here: both shares come out of the process's
    // descriptor limit, so that no open fails for want of a descriptor. At
    // most folderLimit folders are held.
    Opener(const FileList &list, int workers, int wanted, int folderLimit = 1024);
    // How many files each worker may keep open at once: 1 to wanted.
    int filesPerWorker() const { return filesPerWorker_; }
    Opener(const Opener &) = delete;
    Opener &operator=(const Opener &) = delete;
    // Open (isOpen()) only while the file is still the one found. Safe to
    // call from several threads at once.
    std::unique_ptr<ReadOnlyFile> open(int index);
    // The folder at index, opened the same way, or -1 when it is no longer
    // the folder listed. For one thread: valid until its next call.
    int folder(int index);

  private:
    int folderFd(int folder);

    struct Held {
      UniqueFd fd;
      quint64 lastUse = 0;
      int users = 0; // threads opening a file in it: it stays open meanwhile
    };
    const FileList &list_;
    std::mutex mutex_;
    std::unordered_map<int, Held> held_;
    int filesPerWorker_;
    size_t capacity_;
    quint64 uses_ = 0;
  };

private:
  struct Folder {
    int parent = -1; // -1 for a root
    quint32 nameStart = 0;
    int nameLength = 0; // a root's index in roots_ when parent is -1
    FileId id;
  };

  // Below the folder the walk began at: the names joined by "/"; empty when
  // longer than limit.
  QByteArray relativePath(const File &file, int limit = INT_MAX) const;
  int topOf(int folder) const;
  std::vector<int> distinct() const;
  void appendSkippedHidden(QString &text) const;
  const char *nameOf(const File &file) const { return names_.data() + file.nameStart + 2; }
  int nameLength(const File &file) const {
    return uchar(names_[file.nameStart]) | uchar(names_[file.nameStart + 1]) << 8;
  }

  std::vector<File> files_;
  std::vector<Folder> folders_;
  std::string names_;
  QStringList roots_;
  qint64 skippedHidden_ = 0;
};
