#pragma once
// SHA-256 of file content. One object per thread: it owns a 1 MiB read buffer
// and the digest state.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

struct evp_md_ctx_st;

class FileDigest {
public:
  static constexpr int chunkSize = 1 << 20;

  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest &) = delete;
  FileDigest &operator=(const FileDigest &) = delete;

  // 64 lowercase hexadecimal characters, the file read in chunkSize pieces
  // up to the first read that returns nothing. Empty when the file cannot be
  // opened, a read fails or stop is set between two chunks: a digest of part
  // of a file would pair it with files it may not equal.
  QByteArray ofFile(const QString &path, const std::atomic<bool> *stop = nullptr);
  // A short hash of at most the first length bytes (length <= chunkSize):
  // files that begin alike get equal keys, most others not. Empty when the
  // file cannot be opened or read.
  QByteArray prefixKey(const QString &path, int length);
  // The digest of each file whose content equals that of another listed file,
  // empty for the others and for files that cannot be opened or read. The files are
  // read side by side and compared, so only one copy of each content is hashed
  // and reading a file stops at its first difference from all the others.
  static QVector<QByteArray> ofCopies(const QStringList &paths);

private:
  QByteArray buffer_;
  evp_md_ctx_st *context_;
};
