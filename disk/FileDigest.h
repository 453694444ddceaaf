#pragma once
// SHA-256 of file content, read in 1 MiB chunks into one buffer. One object
// per thread: it owns the buffer and the digest state.
#include <QByteArray>
#include <QString>

struct evp_md_ctx_st;

class FileDigest {
public:
  static constexpr int chunkSize = 1 << 20;

  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest &) = delete;
  FileDigest &operator=(const FileDigest &) = delete;

  // 64 lowercase hexadecimal characters; empty when the file cannot be
  // opened. Reading stops at the end or at the first read that returns
  // nothing, and the digest covers what was read.
  QByteArray ofFile(const QString &path);
  // The same over at most the first length bytes (length <= chunkSize).
  QByteArray ofPrefix(const QString &path, int length);

private:
  QByteArray digest(const QString &path, qint64 limit);

  QByteArray buffer_;
  evp_md_ctx_st *context_;
};
