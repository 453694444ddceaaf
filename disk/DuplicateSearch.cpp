#include "disk/DuplicateSearch.h"

#include "disk/FileDigest.h"
#include "disk/Parallel.h"
#include "disk/ShownFiles.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <tuple>
#include <vector>

namespace DuplicateSearch {

namespace {

// Files a core keeps open at once when comparing, at most; larger sets are
// hashed file by file.
constexpr int maxComparedAtOnce = 64;
// Files handed to a core at a time in the first pass: neighbours in the list
// share their folder, whose descriptor stays open.
constexpr int firstPassBatch = 256;

// Runs job for every index below count on all cores, each core with a
// digest state of its own.
void inParallel(int count, const std::function<void(int, FileDigest &)> &job) {
  std::vector<std::unique_ptr<FileDigest>> digests(size_t(Parallel::workerCount()));
  Parallel::forEach(count, [&](int worker, int k) {
    std::unique_ptr<FileDigest> &digest = digests[size_t(worker)];
    if (!digest)
      digest = std::make_unique<FileDigest>();
    job(k, *digest);
  });
}

} // namespace

QString run(const FileList &files, DigestCache &cache) {
  cache.load(files);
  const int count = files.size();
  // Each file once: the first found of each device and inode.
  std::vector<int> order(static_cast<size_t>(count));
  std::iota(order.begin(), order.end(), 0);
  const auto idOf = [&files](int i) {
    const FileId id = files.id(i);
    return std::make_tuple(id.device, id.inode, i);
  };
  std::sort(order.begin(), order.end(), [&](int a, int b) { return idOf(a) < idOf(b); });
  std::vector<int> distinct;
  distinct.reserve(static_cast<size_t>(count));
  for (size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || !(files.id(order[k]) == files.id(order[k - 1])))
      distinct.push_back(order[k]);
  }
  order = std::vector<int>();
  // By size, ascending, each size's files in the order found.
  std::sort(distinct.begin(), distinct.end(), [&files](int a, int b) {
    const qint64 sizeA = files.at(a).size, sizeB = files.at(b).size;
    return sizeA != sizeB ? sizeA < sizeB : a < b;
  });
  FileList::Opener opener(files, Parallel::workerCount(), maxComparedAtOnce);
  const size_t comparedAtOnce = size_t(opener.filesPerWorker());
  // Each file's prefix key and digest, read now or known from an earlier
  // search; learnt marks what this search read.
  const bool keeping = cache.usable();
  std::vector<quint64> key(static_cast<size_t>(count));
  std::vector<char> keyed(static_cast<size_t>(count)), learnt(static_cast<size_t>(count));
  std::vector<QByteArray> full(static_cast<size_t>(count));
  struct Run {
    size_t begin, end; // two or more files of one size, in distinct
    bool byKey;        // split by prefix keys before comparing
  };
  std::vector<Run> shared;
  // Sizes with few files are compared as they are: each file is opened once
  // and most are read no further than a prefix. The files of larger sizes,
  // and of sizes whose keys are all known, are split by their keys first.
  std::vector<std::vector<int>> alike;
  std::vector<int> candidates;
  for (size_t begin = 0, end; begin < distinct.size(); begin = end) {
    end = begin + 1;
    while (end < distinct.size() && files.at(distinct[end]).size == files.at(distinct[begin]).size)
      ++end;
    if (end - begin < 2)
      continue;
    bool allKeyed = true;
    for (size_t k = begin; k < end; ++k) {
      const int i = distinct[k];
      DigestCache::Known known;
      if (cache.find(i, known)) {
        keyed[size_t(i)] = known.keyed;
        key[size_t(i)] = known.prefixKey;
        full[size_t(i)] = known.digest;
      }
      allKeyed = allKeyed && keyed[size_t(i)];
    }
    const bool byKey = allKeyed || end - begin > comparedAtOnce;
    shared.push_back({begin, end, byKey});
    if (!byKey) {
      alike.emplace_back(distinct.begin() + long(begin), distinct.begin() + long(end));
      continue;
    }
    for (size_t k = begin; k < end; ++k) {
      if (!keyed[size_t(distinct[k])])
        candidates.push_back(distinct[k]);
    }
  }

  // In the order found, so that one folder's files come together.
  std::sort(candidates.begin(), candidates.end());

  // First pass: a key of every candidate's first bytes; unkeyed means the
  // file could not be opened or read.
  const int batches = (int(candidates.size()) + firstPassBatch - 1) / firstPassBatch;
  inParallel(batches, [&](int batch, FileDigest &digest) {
    const size_t end = std::min(candidates.size(), size_t(batch + 1) * firstPassBatch);
    for (size_t k = size_t(batch) * firstPassBatch; k < end; ++k) {
      const size_t i = size_t(candidates[k]);
      const std::unique_ptr<ReadOnlyFile> file = opener.open(int(i));
      keyed[i] = digest.prefixKey(*file, key[i]);
      learnt[i] = keyed[i];
    }
  });
  candidates = std::vector<int>();

  // Second pass: files whose first bytes match another file of their size,
  // to be compared with those files.
  for (const Run &run : shared) {
    if (!run.byKey)
      continue;
    QHash<quint64, int> setOfKey;
    const size_t firstSet = alike.size();
    for (size_t k = run.begin; k < run.end; ++k) {
      const int i = distinct[k];
      if (!keyed[size_t(i)])
        continue;
      const auto found = setOfKey.constFind(key[size_t(i)]);
      if (found != setOfKey.constEnd()) {
        alike[size_t(*found)].push_back(i);
      } else {
        setOfKey.insert(key[size_t(i)], int(alike.size()));
        alike.push_back({i});
      }
    }
    alike.erase(std::remove_if(alike.begin() + long(firstSet), alike.end(),
                               [](const std::vector<int> &set) { return set.size() < 2; }),
                alike.end());
  }
  // Largest sets first, so no core is left with a big one at the end.
  std::stable_sort(alike.begin(), alike.end(),
                   [&](const std::vector<int> &a, const std::vector<int> &b) {
                     return files.at(a.front()).size * qint64(a.size()) >
                            files.at(b.front()).size * qint64(b.size());
                   });
  // Files of known digest are not read again: the others are compared with
  // each other and with one file of each digest known.
  inParallel(int(alike.size()), [&](int k, FileDigest &digest) {
    std::vector<int> set;
    for (int i : alike[size_t(k)]) {
      if (full[size_t(i)].isEmpty())
        set.push_back(i);
    }
    const size_t unknown = set.size();
    if (unknown == 0)
      return;
    QSet<QByteArray> digests;
    for (int i : alike[size_t(k)]) {
      if (!full[size_t(i)].isEmpty() && !digests.contains(full[size_t(i)])) {
        digests.insert(full[size_t(i)]);
        set.push_back(i);
      }
    }
    if (set.size() > comparedAtOnce) {
      for (size_t m = 0; m < unknown; ++m) {
        const size_t i = size_t(set[m]);
        const std::unique_ptr<ReadOnlyFile> file = opener.open(int(i));
        full[i] = digest.ofFile(*file, nullptr, &key[i]);
        keyed[i] = learnt[i] = !full[i].isEmpty();
      }
      return;
    }
    std::vector<std::unique_ptr<ReadOnlyFile>> opened;
    for (int i : set)
      opened.push_back(opener.open(i));
    std::vector<std::optional<quint64>> keys;
    const QVector<QByteArray> found = digest.ofCopies(opened, keeping ? &keys : nullptr);
    for (size_t m = 0; m < unknown; ++m) {
      const size_t i = size_t(set[m]);
      full[i] = found[int(m)];
      if (keeping && keys[m]) {
        key[i] = *keys[m];
        keyed[i] = learnt[i] = true;
      }
    }
  });
  alike = std::vector<std::vector<int>>();

  for (const Run &run : shared) {
    for (size_t k = run.begin; k < run.end; ++k) {
      const int i = distinct[k];
      if (learnt[size_t(i)])
        cache.learn(files, i, {bool(keyed[size_t(i)]), key[size_t(i)], full[size_t(i)]});
    }
  }
  cache.save();
  key = std::vector<quint64>();
  keyed = learnt = std::vector<char>();

  // Groups in ascending digest order, each one's files in the order they
  // joined: by size, then as found.
  std::vector<int> joined;
  for (const Run &run : shared) {
    for (size_t k = run.begin; k < run.end; ++k) {
      if (!full[size_t(distinct[k])].isEmpty())
        joined.push_back(distinct[k]);
    }
  }
  std::stable_sort(joined.begin(), joined.end(),
                   [&full](int a, int b) { return full[size_t(a)] < full[size_t(b)]; });
  DigestGroups::Writer writer(files.textRoom(joined) + 200 * qint64(joined.size()));
  for (size_t begin = 0, end; begin < joined.size(); begin = end) {
    const QByteArray &digest = full[size_t(joined[begin])];
    end = begin + 1;
    while (end < joined.size() && full[size_t(joined[end])] == digest)
      ++end;
    if (end - begin < 2)
      continue;
    for (size_t k = begin; k < end; ++k) {
      const FileRecord record = files.record(joined[k]);
      ShownFiles::duplicates().add(record, digest);
      writer.addFile(record);
    }
    writer.endGroup(digest, FileRecord::numberText(files.at(joined[begin]).size));
  }
  return writer.finish();
}

} // namespace DuplicateSearch
