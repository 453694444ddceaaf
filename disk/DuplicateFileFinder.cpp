#include "disk/DuplicateFileFinder.h"

#include "disk/DuplicateSearch.h"
#include "disk/FileDigest.h"
#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QSet>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 2s;

ScanRegistry &registry() {
  static ScanRegistry *scans =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *scans;
}

// Only a folder the caller gave is expanded. The worker walks on its own
// thread, watching its stop flag; the immediate form uses every core.
void collectFolder(const QString &folder, const std::atomic<bool> *stop, FileList &files) {
  const QString directory = FileTree::directoryPath(FolderList::expand(folder));
  if (directory.isEmpty())
    return;
  // The immediate form opens every file it keeps and drops those it cannot
  // read; the background form keeps a file that failed to open for another
  // try, so it takes only readable ones.
  if (stop)
    FileTree::collect(directory, {0, FileTree::Access::Readable}, stop, files);
  else
    FileTree::collectInParallel(directory, {0, FileTree::Access::OpenedLater}, files);
}

// The background form hashes as files arrive. It runs in the idle scheduling
// and I/O classes, so it takes nothing the user's own work wants and needs no
// pauses of its own. Each file is looked at a fixed number of times, so the
// work grows with the number of files.
class DuplicateFileScanContext : public ScanContext {
public:
  using ScanContext::ScanContext;

  QString run() {
    DigestCache cache; // before the first walk, for its rule of recent changes
    QueuedFolder folder;
    while (!stopRequested && takeFolder(folder)) {
      const int firstNew = files.size();
      const int firstFolder = files.folderCount();
      collectFolder(folder.path, &stopRequested, files);
      cache.load(files, firstFolder);
      for (int i = firstNew; i < files.size(); ++i) {
        if (stopRequested)
          break;
        const FileList::File &file = files.at(i);
        const FileId id = files.id(i);
        if (seen.contains(id)) // found before, or a hard link to a file found before
          continue;
        seen.insert(id);
        SizeGroup &sameSize = sizeGroups[file.size];
        ++sameSize.count;
        sameSize.unhashed.append(i);
        if (sameSize.count >= 2)
          hashUnhashed(sameSize, cache);
        progressStep();
      }
      progressStep();
    }
    progressStep();
    cache.save();
    hashGroups.remember(ShownFiles::duplicates());
    return hashGroups.toText();
  }

private:
  struct SizeGroup {
    int count = 0;
    // In the order they came. A file that failed to open stays here and is
    // tried again when its size group grows.
    QVector<int> unhashed;
  };

  void hashUnhashed(SizeGroup &group, DigestCache &cache) {
    QVector<int> left;
    for (int k = 0; k < group.unhashed.size(); ++k) {
      const int i = group.unhashed[k];
      if (stopRequested) {
        left += group.unhashed.mid(k);
        break;
      }
      DigestCache::Known known;
      if (!cache.find(i, known) || known.digest.isEmpty()) {
        const std::unique_ptr<ReadOnlyFile> file = opener.open(i);
        known.digest = digest.ofFile(*file, &stopRequested, &known.prefixKey);
        known.keyed = !known.digest.isEmpty();
        if (known.keyed)
          cache.learn(files, i, known);
      }
      const QByteArray &hash = known.digest;
      if (hash.isEmpty())
        left.append(i);
      else
        hashGroups.add(hash, files.record(i));
    }
    group.unhashed = left;
  }

  void progressStep() {
    if (!progressDue(progressInterval))
      return;
    int groups, files;
    hashGroups.count(groups, files);
    if (groups == lastGroupCount && files == lastFileCount)
      return;
    send("progress", hashGroups.toText());
    lastGroupCount = groups;
    lastFileCount = files;
  }

  // The worker's alone.
  int lastGroupCount = 0;
  int lastFileCount = 0;
  FileList files; // every file found, in the order found
  FileList::Opener opener{files, 1, 1};
  std::map<qint64, SizeGroup> sizeGroups;
  DigestGroups hashGroups;
  QSet<FileId> seen;
  FileDigest digest;
};

} // namespace

QString DuplicateFileFinder::findDuplicateFiles(const QString &folders) {
  FileRecord::resolveTimeZone();
  DigestCache cache; // before the walk, for its rule of recent changes
  FileList files;
  for (const QString &folder : FolderList::parse(folders))
    collectFolder(folder, nullptr, files);
  return DuplicateSearch::run(files, cache);
}

int DuplicateFileFinder::startScanDuplicateFiles(const QString &folders, ScriptCallback callback) {
  auto context =
      std::make_shared<DuplicateFileScanContext>(FolderList::parse(folders), std::move(callback));
  return registry().start(
      context, [context] { return context->run(); }, QStringLiteral("scan duplicate files failed"));
}

bool DuplicateFileFinder::stopScanDuplicateFiles(int id) {
  return registry().stop(id);
}

bool DuplicateFileFinder::addScanDuplicateFilesFolder(int id, const QString &folder) {
  return registry().addFolder(id, folder);
}

void DuplicateFileFinder::stopAllScans() {
  registry().stopAllAndWait();
}
