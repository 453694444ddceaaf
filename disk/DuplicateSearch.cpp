#include "disk/DuplicateSearch.h"

#include "disk/FileDigest.h"
#include "disk/Parallel.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace DuplicateSearch {

namespace {

// Runs job for every listed record on all cores, each thread with its own digest state.
void digestInParallel(const QVector<int> &indexes,
                      const std::function<void(int, FileDigest &)> &job) {
  std::vector<std::unique_ptr<FileDigest>> digests(size_t(Parallel::workerCount()));
  Parallel::forEach(indexes.size(), [&](int worker, int k) {
    std::unique_ptr<FileDigest> &digest = digests[size_t(worker)];
    if (!digest)
      digest = std::make_unique<FileDigest>();
    job(indexes[k], *digest);
  });
}

void sortLargestFirst(QVector<int> &indexes, const QVector<FileRecord> &records) {
  std::stable_sort(indexes.begin(), indexes.end(),
                   [&](int a, int b) { return records[a].size > records[b].size; });
}

} // namespace

DigestGroups run(const QVector<FileRecord> &records) {
  std::map<qint64, QVector<int>> bySize;
  QSet<QString> seen;
  seen.reserve(records.size());
  for (int i = 0; i < records.size(); ++i) {
    if (seen.contains(records[i].path))
      continue;
    seen.insert(records[i].path);
    bySize[records[i].size].append(i);
  }

  QVector<const QVector<int> *> shared; // size groups of two or more, ascending size
  QVector<int> candidates;
  for (const auto &entry : bySize) {
    if (entry.second.size() >= 2) {
      shared.append(&entry.second);
      candidates += entry.second;
    }
  }

  // First pass: small files in full, the others by their first bytes. An
  // empty key means the file could not be opened.
  std::vector<QByteArray> key(size_t(records.size())), full(size_t(records.size()));
  sortLargestFirst(candidates, records);
  digestInParallel(candidates, [&](int i, FileDigest &digest) {
    if (records[i].size <= prefixLength)
      key[i] = full[i] = digest.ofFile(records[i].path);
    else
      key[i] = digest.ofPrefix(records[i].path, prefixLength);
  });

  // Second pass: only files whose first bytes match another file of their size.
  QVector<int> needed;
  for (const QVector<int> *members : shared) {
    QHash<QByteArray, int> keyCount;
    for (int i : *members) {
      if (!key[i].isEmpty())
        ++keyCount[key[i]];
    }
    for (int i : *members) {
      if (full[i].isEmpty() && !key[i].isEmpty() && keyCount.value(key[i]) >= 2)
        needed.append(i);
    }
  }
  sortLargestFirst(needed, records);
  digestInParallel(needed,
                   [&](int i, FileDigest &digest) { full[i] = digest.ofFile(records[i].path); });

  DigestGroups groups;
  for (const QVector<int> *members : shared) {
    for (int i : *members) {
      if (!full[i].isEmpty())
        groups[full[i]].append(records[i]);
    }
  }
  return groups;
}

} // namespace DuplicateSearch
