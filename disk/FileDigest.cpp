#include "disk/FileDigest.h"

#include "platform/storage/ReadOnlyFile.h"

#include <QHash>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Per file while comparing; small, since many files may be compared at once.
constexpr int compareChunk = 64 * 1024;

using DigestState = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

DigestState newState() {
  DigestState state(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!state)
    throw std::bad_alloc();
  return state;
}

QByteArray finish(EVP_MD_CTX *context) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context, value, &length);
  return QByteArray(reinterpret_cast<const char *>(value), int(length)).toHex();
}

// Reads on until size bytes are in or a read returns nothing, so files whose
// digests would cover the same bytes give the same chunks; -1 when a read fails.
int readFull(ReadOnlyFile &file, char *buffer, int size) {
  int filled = 0;
  while (filled < size) {
    const qint64 got = file.read(buffer + filled, size - filled);
    if (got < 0)
      return -1;
    if (got == 0)
      break;
    filled += int(got);
  }
  return filled;
}

// Opens a found file; closed again when the path now names another file or
// the file's size changed since it was found.
std::unique_ptr<ReadOnlyFile> openFound(const FileRecord &record) {
  auto file = std::make_unique<ReadOnlyFile>(record.path);
  if (file->isOpen() && !(file->id() == record.id && file->size() == record.size))
    file = std::make_unique<ReadOnlyFile>(-1, QByteArray());
  return file;
}

// Files whose content read so far is the same, and the digest state of that content.
struct Copies {
  QVector<int> members;
  DigestState state;
};

} // namespace

FileDigest::FileDigest() : buffer_(chunkSize, Qt::Uninitialized), context_(EVP_MD_CTX_new()) {
  if (!context_)
    throw std::bad_alloc();
}

FileDigest::~FileDigest() {
  EVP_MD_CTX_free(context_);
}

QByteArray FileDigest::prefixKey(const FileRecord &record, int length) {
  const std::unique_ptr<ReadOnlyFile> file = openFound(record);
  if (!file->isOpen())
    return QByteArray();
  const int filled = readFull(*file, buffer_.data(), length);
  if (filled < 0)
    return QByteArray();
  const uint key = qHashBits(buffer_.constData(), size_t(filled));
  return QByteArray(reinterpret_cast<const char *>(&key), int(sizeof key));
}

QByteArray FileDigest::ofFile(const QString &path, const std::atomic<bool> *stop) {
  ReadOnlyFile file(path);
  return digestOf(file, stop);
}

QByteArray FileDigest::ofFile(const FileRecord &record, const std::atomic<bool> *stop) {
  const std::unique_ptr<ReadOnlyFile> file = openFound(record);
  return digestOf(*file, stop);
}

QByteArray FileDigest::digestOf(ReadOnlyFile &file, const std::atomic<bool> *stop) {
  if (!file.isOpen())
    return QByteArray();
  EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
  qint64 total = 0;
  for (;;) {
    if (stop && *stop)
      return QByteArray();
    const qint64 got = file.read(buffer_.data(), chunkSize);
    if (got < 0)
      return QByteArray();
    if (got == 0)
      break;
    total += got;
    EVP_DigestUpdate(context_, buffer_.constData(), size_t(got));
  }
  if (total != file.size()) // cut short since it was opened
    return QByteArray();
  return finish(context_);
}

QVector<QByteArray> FileDigest::ofCopies(const QVector<FileRecord> &paths) {
  QVector<QByteArray> digests(paths.size());
  std::vector<std::unique_ptr<ReadOnlyFile>> files;
  std::vector<Copies> reading;
  reading.push_back({{}, newState()});
  for (int i = 0; i < paths.size(); ++i) {
    files.push_back(openFound(paths[i]));
    if (files.back()->isOpen())
      reading.back().members.append(i);
  }
  if (reading.back().members.size() < 2)
    return digests;
  EVP_DigestInit_ex(reading.back().state.get(), EVP_sha256(), nullptr);
  std::vector<QByteArray> chunks(size_t(paths.size()));
  std::vector<int> lengths(size_t(paths.size()));
  while (!reading.empty()) {
    const Copies copies = std::move(reading.back());
    reading.pop_back();
    // Split by the next chunk, each part in the order of the list.
    std::vector<QVector<int>> parts;
    for (int m : copies.members) {
      chunks[m].resize(compareChunk);
      lengths[m] = readFull(*files[m], chunks[m].data(), compareChunk);
      if (lengths[m] < 0) {
        files[m].reset();
        continue;
      }
      const auto same = std::find_if(parts.begin(), parts.end(), [&](const QVector<int> &part) {
        const int first = part.first();
        return lengths[first] == lengths[m] &&
               std::memcmp(chunks[first].constData(), chunks[m].constData(), size_t(lengths[m])) ==
                   0;
      });
      if (same == parts.end())
        parts.push_back({m});
      else
        same->append(m);
    }
    for (QVector<int> &part : parts) {
      const int first = part.first();
      if (part.size() < 2) {
        files[first].reset();
        continue;
      }
      Copies next{std::move(part), newState()};
      EVP_MD_CTX_copy_ex(next.state.get(), copies.state.get());
      EVP_DigestUpdate(next.state.get(), chunks[first].constData(), size_t(lengths[first]));
      if (lengths[first] == compareChunk) {
        reading.push_back(std::move(next));
        continue;
      }
      const QByteArray digest = finish(next.state.get());
      for (int m : next.members) {
        digests[m] = digest;
        files[m].reset();
      }
    }
  }
  return digests;
}
