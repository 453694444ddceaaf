#pragma once
// SHA-256 of file content. One object per thread: it owns a 1 MiB read buffer
// and the digest state.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

struct evp_md_ctx_st;

class FileDigest {
public:
  static constexpr int chunkSize = 1 << 20;

  FileDigest();
  ~FileDigest();
  FileDigest(const FileDigest &) = delete;
  FileDigest &operator=(const FileDigest &) = delete;

  // 64 lowercase hexadecimal characters, the file read in chunkSize pieces;
  // empty when the file cannot be opened. Reading stops at the end or at the first read that
  // returns nothing, and the digest covers what was read.
  QByteArray ofFile(const QString &path);
  // A short hash of at most the first length bytes (length <= chunkSize):
  // files that begin alike get equal keys, most others not. Empty when the
  // file cannot be opened.
  QByteArray prefixKey(const QString &path, int length);
  // The digest of each file whose content equals that of another listed file,
  // empty for the others and for files that cannot be opened. The files are
  // read side by side and compared, so only one copy of each content is hashed
  // and reading a file stops at its first difference from all the others.
  static QVector<QByteArray> ofCopies(const QStringList &paths);

private:
  QByteArray buffer_;
  evp_md_ctx_st *context_;
};
