#include "disk/FileDigest.h"

#include "platform/storage/ReadOnlyFile.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Per file while comparing; small, since many files may be compared at once.
constexpr int compareChunk = 64 * 1024;
// The first piece is smaller: most files compared differ from all the others
// in their first bytes, and need no more read than that.
constexpr int firstCompareChunk = FileDigest::prefixLength;

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

// A multiply-and-add hash over eight 64-bit lanes, after the accumulate step
// of the xxHash family: several bytes per cycle, so the first pass over many
// files costs little beyond the reads. Not for anything an attacker picks to
// collide: keys only choose which files are compared byte by byte.
quint64 prefixHash(const char *data, int length) {
  static constexpr quint64 secret[8] = {
      0xbe4ba423396cfeb8ull, 0x1cad21f72c81017cull, 0xdb979083e96dd4deull, 0x1f67b3b7a4a44072ull,
      0x78e5c0cc4ee679cbull, 0x2172ffcc7dd05a82ull, 0x8e2443f7744608b8ull, 0x4c263a81e69035e0ull};
  constexpr quint64 prime = 0x9E3779B185EBCA87ull;
  quint64 lanes[8];
  for (int lane = 0; lane < 8; ++lane)
    lanes[lane] = secret[lane];
  int at = 0;
  for (; at + 64 <= length; at += 64) {
    for (int lane = 0; lane < 8; ++lane) {
      quint64 word;
      std::memcpy(&word, data + at + 8 * lane, sizeof word);
      const quint64 keyed = word ^ secret[lane];
      lanes[lane] += (keyed & 0xffffffffu) * (keyed >> 32) + word;
    }
  }
  quint64 hash = quint64(length) * prime;
  for (int lane = 0; lane < 8; ++lane) {
    hash ^= lanes[lane];
    hash *= prime;
    hash ^= hash >> 31;
  }
  for (; at < length; ++at) {
    hash ^= uchar(data[at]);
    hash *= prime;
  }
  return hash ^ (hash >> 29);
}

// Files whose content read so far is the same, and the digest state of that content.
struct Copies {
  QVector<int> members;
  DigestState state;
  qint64 done = 0; // bytes read of each
};

// The digest of a file that parted from its copies after done bytes: the
// state of those bytes, the chunk just read and the rest of the file.
QByteArray finishAlone(ReadOnlyFile &file, const EVP_MD_CTX *shared, qint64 done, char *chunk,
                       int length, size_t room) {
  const DigestState state = newState();
  EVP_MD_CTX_copy_ex(state.get(), shared);
  qint64 total = done;
  for (int got = length; got > 0; got = readFull(file, chunk, int(room))) {
    EVP_DigestUpdate(state.get(), chunk, size_t(got));
    total += got;
  }
  return total == file.size() ? finish(state.get()) : QByteArray();
}

} // namespace

FileDigest::FileDigest() : buffer_(chunkSize, Qt::Uninitialized), context_(EVP_MD_CTX_new()) {
  if (!context_)
    throw std::bad_alloc();
}

FileDigest::~FileDigest() {
  EVP_MD_CTX_free(context_);
}

bool FileDigest::prefixKey(ReadOnlyFile &file, quint64 &key) {
  if (!file.isOpen())
    return false;
  const int filled = readFull(file, buffer_.data(), prefixLength);
  if (filled < 0)
    return false;
  key = prefixHash(buffer_.constData(), filled);
  return true;
}

QByteArray FileDigest::ofFile(const QString &path, const std::atomic<bool> *stop) {
  ReadOnlyFile file(path);
  return ofFile(file, stop);
}

QByteArray FileDigest::ofFile(ReadOnlyFile &file, const std::atomic<bool> *stop, quint64 *prefix) {
  if (!file.isOpen())
    return QByteArray();
  EVP_DigestInit_ex(context_, EVP_sha256(), nullptr);
  qint64 total = 0;
  for (;;) {
    if (stop && *stop)
      return QByteArray();
    const int got = readFull(file, buffer_.data(), chunkSize);
    if (got < 0)
      return QByteArray();
    if (prefix && total == 0)
      *prefix = prefixHash(buffer_.constData(), std::min(got, prefixLength));
    if (got == 0)
      break;
    total += got;
    EVP_DigestUpdate(context_, buffer_.constData(), size_t(got));
  }
  if (total != file.size()) // cut short since it was opened
    return QByteArray();
  return finish(context_);
}

QVector<QByteArray> FileDigest::ofCopies(std::vector<std::unique_ptr<ReadOnlyFile>> &files,
                                         std::vector<std::optional<quint64>> *keys) {
  QVector<QByteArray> digests(int(files.size()));
  if (keys)
    keys->assign(files.size(), std::nullopt);
  std::vector<Copies> reading;
  reading.push_back({{}, newState()});
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i] && files[i]->isOpen())
      reading.back().members.append(int(i));
    else
      files[i].reset();
  }
  if (reading.back().members.size() < 2) {
    files.clear();
    return digests;
  }
  EVP_DigestInit_ex(reading.back().state.get(), EVP_sha256(), nullptr);
  // One piece of room per file, no larger than the largest file needs.
  qint64 largest = 0;
  for (int m : reading.back().members)
    largest = std::max(largest, files[size_t(m)]->size());
  const size_t room = size_t(std::min<qint64>(std::max<qint64>(largest, 1), compareChunk));
  // The read buffer serves when it is large enough, as it mostly is.
  std::unique_ptr<char[]> allocated;
  char *chunks = buffer_.data();
  if (room * files.size() > size_t(buffer_.size())) {
    allocated.reset(new char[room * files.size()]);
    chunks = allocated.get();
  }
  const auto chunk = [&](int m) { return chunks + room * size_t(m); };
  std::vector<int> lengths(files.size());
  while (!reading.empty()) {
    const Copies copies = std::move(reading.back());
    reading.pop_back();
    const int want = int(std::min<size_t>(copies.done ? compareChunk : firstCompareChunk, room));
    // Split by the next chunk, each part in the order of the list.
    std::vector<QVector<int>> parts;
    for (int m : copies.members) {
      lengths[m] = readFull(*files[m], chunk(m), want);
      if (lengths[m] < 0) {
        files[m].reset();
        continue;
      }
      if (keys && copies.done == 0)
        (*keys)[size_t(m)] = prefixHash(chunk(m), lengths[m]);
      const auto same = std::find_if(parts.begin(), parts.end(), [&](const QVector<int> &part) {
        const int first = part.first();
        return lengths[first] == lengths[m] &&
               std::memcmp(chunk(first), chunk(m), size_t(lengths[m])) == 0;
      });
      if (same == parts.end())
        parts.push_back({m});
      else
        same->append(m);
    }
    for (QVector<int> &part : parts) {
      const int first = part.first();
      if (part.size() < 2) {
        if (keys && copies.done > 0)
          digests[first] = finishAlone(*files[first], copies.state.get(), copies.done, chunk(first),
                                       lengths[first], room);
        files[first].reset();
        continue;
      }
      Copies next{std::move(part), newState(), copies.done + lengths[first]};
      EVP_MD_CTX_copy_ex(next.state.get(), copies.state.get());
      EVP_DigestUpdate(next.state.get(), chunk(first), size_t(lengths[first]));
      if (lengths[first] == want && next.done < largest) {
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
