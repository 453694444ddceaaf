#pragma once
// A regular file opened for plain sequential reading, closed when the object
// goes. Opened non-blocking and without following a link, then checked with
// fstat: a FIFO, device, folder or link in its place is refused, so nothing
// can hang the reader, and so is a file of a pseudo file system (proc, sysfs
// and the like), whose listed size says nothing of its content. Reads stop at the size the file had
// when it was opened (or the size the caller listed, when given), so a file that grows or never
// ends (as pseudo files do) is read no further.
#include "platform/storage/FileWalker.h"

#include <QString>

class ReadOnlyFile {
public:
  // path of any length, in FileName's text form.
  explicit ReadOnlyFile(const QString &path);
  // An entry of a folder open for walking.
  ReadOnlyFile(int parentFd, const QByteArray &name);
  // A file a walk found, opened only while it is still that file (device,
  // inode) at the size found. A walk never reaches a pseudo file system and
  // never leaves the file system it began on, so a file with the device it
  // reported needs no file-system check of its own.
  ReadOnlyFile(int parentFd, const char *name, const FileId &found, qint64 foundSize);
  // The same for a file already opened for reading (FileWalker::openFileBeneath).
  ReadOnlyFile(UniqueFd opened, const FileId &found, qint64 foundSize);
  ReadOnlyFile(const ReadOnlyFile &) = delete;
  ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

  bool isOpen() const { return fd_.isValid(); }
  // The reason the file is not open: an errno value.
  int error() const { return error_; }
  FileId id() const { return id_; }
  qint64 size() const { return size_; }
  int handle() const { return fd_.get(); }
  // Reads end at limit bytes from the start (at most the size at opening).
  void limitTo(qint64 limit);
  // Bytes read into buffer; 0 at the end, -1 on an error.
  qint64 read(char *buffer, qint64 size);

private:
  // With found set, a file that is not that one is refused (ESTALE).
  void open(int parentFd, const char *name, const FileId *found = nullptr, qint64 foundSize = 0);
  void adopt(UniqueFd opened, const FileId *found, qint64 foundSize);

  UniqueFd fd_;
  int error_ = 0;
  FileId id_;
  qint64 size_ = 0;
  qint64 offset_ = 0;
};
