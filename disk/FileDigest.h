#pragma once
// SHA-256 of file content. One object per thread: it owns a 1 MiB read buffer
// and the digest state.
#include <QByteArray>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

struct evp_md_ctx_st;
class ReadOnlyFile;

class FileDigest {
public:
  static constexpr int chunkSize = 1 << 20;
  // The first bytes prefix keys cover.
  static constexpr int prefixLength = 4096;

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
  // The same for a file already open.
  // With prefix given, also the file's prefix key, as prefixKey gives it.
  QByteArray ofFile(ReadOnlyFile &file, const std::atomic<bool> *stop = nullptr,
                    quint64 *prefix = nullptr);
  // A fast hash of the first prefixLength bytes: files that begin alike get
  // equal keys, most others not. False when the file is not open or a read
  // fails.
  bool prefixKey(ReadOnlyFile &file, quint64 &key);
  // The digest of each file whose content equals that of another listed file,
  // empty for the others and for files that are not open or cannot be read.
  // The files are read side by side and compared, so only one copy of each
  // content is hashed and reading a file stops at its first difference from
  // all the others, the first time after prefixLength bytes. The files are
  // closed on return.
  // With keys given (one per file), also each file's prefix key, and a file
  // that shares its first prefixLength bytes with another is hashed to its
  // end even when it parts from the others later: with both kept, a later
  // search tells the same files apart without reading them.
  QVector<QByteArray> ofCopies(std::vector<std::unique_ptr<ReadOnlyFile>> &files,
                               std::vector<std::optional<quint64>> *keys = nullptr);

private:
  QByteArray buffer_;
  evp_md_ctx_st *context_;
};
