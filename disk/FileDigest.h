#pragma once
// SHA-256 of file content. One object per thread: it owns a 1 MiB read buffer
// and the digest state.
#include "disk/FileRecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>

struct evp_md_ctx_st;
class ReadOnlyFile;

class FileDigest {
public:
  static constexpr int chunkSize = 1 << 20;

  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest &) = delete;
  FileDigest &operator=(const FileDigest &) = delete;

  // 64 lowercase hexadecimal characters of the regular file at path, read in
  // chunkSize pieces up to the size it had when opened. Empty when it is not
  // a regular file, cannot be opened, a read fails or ends early, or stop is
  // set between two chunks: a digest of part of a file would pair it with
  // files it may not equal.
  QByteArray ofFile(const QString &path, const std::atomic<bool> *stop = nullptr);
  // The same for a found file, and empty when the path no longer names the
  // file that was found (device and inode) at the size it was found with.
  QByteArray ofFile(const FileRecord &record, const std::atomic<bool> *stop = nullptr);
  // A short hash of at most the first length bytes (length <= chunkSize):
  // files that begin alike get equal keys, most others not. Empty when the
  // file cannot be opened or read, or is no longer the file found.
  QByteArray prefixKey(const FileRecord &record, int length);
  // The digest of each file whose content equals that of another listed file,
  // empty for the others and for files that cannot be opened or read. The files are
  // read side by side and compared, so only one copy of each content is hashed
  // and reading a file stops at its first difference from all the others.
  static QVector<QByteArray> ofCopies(const QVector<FileRecord> &files);

private:
  QByteArray digestOf(ReadOnlyFile &file, const std::atomic<bool> *stop);

  QByteArray buffer_;
  evp_md_ctx_st *context_;
};
