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

// Files open at once when comparing; larger sets are hashed file by file.
constexpr int maxComparedAtOnce = 64;

// Runs job for every index below count on all cores, each thread with its own digest state.
void digestInParallel(int count, const std::function<void(int, FileDigest &)> &job) {
  std::vector<std::unique_ptr<FileDigest>> digests(size_t(Parallel::workerCount()));
  Parallel::forEach(count, [&](int worker, int k) {
    std::unique_ptr<FileDigest> &digest = digests[size_t(worker)];
    if (!digest)
      digest = std::make_unique<FileDigest>();
    job(k, *digest);
  });
}

} // namespace

DigestGroups run(const QVector<FileRecord> &records) {
  std::map<qint64, QVector<int>> bySize;
  QSet<FileId> seen; // a path found twice, and hard links, count once
  seen.reserve(records.size());
  for (int i = 0; i < records.size(); ++i) {
    if (seen.contains(records[i].id))
      continue;
    seen.insert(records[i].id);
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

  // First pass: a key of every file's first bytes. An empty key means the
  // file could not be opened.
  std::vector<QByteArray> key(size_t(records.size())), full(size_t(records.size()));
  // Only const access from the workers: candidates may share its data with a
  // size group, and a non-const [] would detach it on several threads at once.
  digestInParallel(candidates.size(), [&](int k, FileDigest &digest) {
    const int i = candidates.at(k);
    key[i] = digest.prefixKey(records[i], prefixLength);
  });

  // Second pass: only files whose first bytes match another file of their
  // size, compared with those files.
  QVector<QVector<int>> alike;
  for (const QVector<int> *members : shared) {
    QHash<QByteArray, int> setOfKey;
    const int firstSet = alike.size();
    for (int i : *members) {
      if (key[i].isEmpty())
        continue;
      const auto found = setOfKey.constFind(key[i]);
      if (found != setOfKey.constEnd()) {
        alike[*found].append(i);
      } else {
        setOfKey.insert(key[i], alike.size());
        alike.append(QVector<int>{i});
      }
    }
    alike.erase(std::remove_if(alike.begin() + firstSet, alike.end(),
                               [](const QVector<int> &set) { return set.size() < 2; }),
                alike.end());
  }
  // Largest sets first, so no core is left with a big one at the end.
  std::stable_sort(alike.begin(), alike.end(), [&](const QVector<int> &a, const QVector<int> &b) {
    return records[a.first()].size * a.size() > records[b.first()].size * b.size();
  });
  digestInParallel(alike.size(), [&](int k, FileDigest &digest) {
    const QVector<int> &set = alike.at(k);
    if (set.size() > maxComparedAtOnce) {
      for (int i : set)
        full[i] = digest.ofFile(records[i]);
      return;
    }
    QVector<FileRecord> files;
    for (int i : set)
      files.append(records[i]);
    const QVector<QByteArray> digests = FileDigest::ofCopies(files);
    for (int m = 0; m < set.size(); ++m)
      full[set[m]] = digests[m];
  });

  DigestGroups groups;
  for (const QVector<int> *members : shared) {
    for (int i : *members) {
      if (!full[i].isEmpty())
        groups.add(full[i], records[i]);
    }
  }
  return groups;
}

} // namespace DuplicateSearch
