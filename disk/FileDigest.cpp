#include "disk/FileDigest.h"

#include "platform/storage/ReadOnlyFile.h"

#include <openssl/evp.h>

#include <limits>
#include <new>

FileDigest::FileDigest() : buffer_(chunkSize, Qt::Uninitialized), context_(EVP_MD_CTX_new()) {
  if (!context_)
    throw std::bad_alloc();
}

FileDigest::~FileDigest() {
  EVP_MD_CTX_free(context_);
}

QByteArray FileDigest::ofFile(const QString &path) {
  return digest(path, std::numeric_limits<qint64>::max());
}

QByteArray FileDigest::ofPrefix(const QString &path, int length) {
  return digest(path, length);
}

QByteArray FileDigest::digest(const QString &path, qint64 limit) {
  ReadOnlyFile file(path);
  if (!file.isOpen())
    return QByteArray();
  EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
  qint64 remaining = limit;
  while (remaining > 0) {
    const qint64 got = file.read(buffer_.data(), std::min<qint64>(remaining, chunkSize));
    if (got <= 0)
      break;
    EVP_DigestUpdate(context_, buffer_.constData(), size_t(got));
    remaining -= got;
  }
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, value, &length);
  return QByteArray(reinterpret_cast<const char *>(value), int(length)).toHex();
}
