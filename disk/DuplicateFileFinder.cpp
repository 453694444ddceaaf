#include "disk/DuplicateFileFinder.h"

#include "disk/DuplicateSearch.h"
#include "disk/FileDigest.h"
#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"

#include <QSet>

#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 2s;
constexpr auto pausePerRecord = 1ms;

ScanRegistry &registry() {
  static ScanRegistry *scans =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *scans;
}

// The worker walks on its own thread, watching its stop flag; the immediate
// form uses every core.
void collectFolder(const QString &folder, const std::atomic<bool> *stop,
                   QVector<FileRecord> &records) {
  const QString directory = FileTree::directoryPath(FolderList::expand(folder));
  if (directory.isEmpty())
    return;
  if (stop)
    FileTree::collect(directory, 0, stop, records);
  else
    FileTree::collectInParallel(directory, 0, records);
}

// The background form hashes as files arrive and pauses after each new one,
// so a long scan leaves the machine responsive.
class DuplicateFileScanContext : public ScanContext {
public:
  using ScanContext::ScanContext;

  QString run() {
    QString folder;
    while (!stopRequested && takeFolder(folder)) {
      QVector<FileRecord> records;
      collectFolder(folder, &stopRequested, records);
      for (const FileRecord &record : records) {
        if (stopRequested)
          break;
        if (seenPaths.contains(record.path))
          continue;
        seenPaths.insert(record.path);
        QVector<FileRecord> &sameSize = sizeGroups[record.size];
        sameSize.append(record);
        if (sameSize.size() >= 2)
          hashNew(sameSize);
        pause();
      }
      pause();
    }
    progressStep();
    return DuplicateGroups::toText(hashGroups);
  }

private:
  // A file that failed to open stays unhashed and is tried again when its size group grows.
  void hashNew(const QVector<FileRecord> &sameSize) {
    for (const FileRecord &record : sameSize) {
      if (stopRequested)
        return;
      if (hashedPaths.contains(record.path))
        continue;
      const QByteArray hash = digest.ofFile(record.path, &stopRequested);
      if (hash.isEmpty())
        continue;
      hashGroups[hash].append(record);
      hashedPaths.insert(record.path);
    }
  }

  void pause() {
    progressStep();
    std::this_thread::yield();
    std::this_thread::sleep_for(pausePerRecord);
  }

  void progressStep() {
    if (!progressDue(progressInterval))
      return;
    int groups, files;
    DuplicateGroups::count(hashGroups, groups, files);
    if (groups == lastGroupCount && files == lastFileCount)
      return;
    send("progress", DuplicateGroups::toText(hashGroups));
    lastGroupCount = groups;
    lastFileCount = files;
  }

  // The worker's alone.
  int lastGroupCount = 0;
  int lastFileCount = 0;
  std::map<qint64, QVector<FileRecord>> sizeGroups;
  DigestGroups hashGroups;
  QSet<QString> seenPaths;
  QSet<QString> hashedPaths;
  FileDigest digest;
};

} // namespace

QString DuplicateFileFinder::findDuplicateFiles(const QString &folders) {
  QVector<FileRecord> records;
  for (const QString &folder : FolderList::parse(folders))
    collectFolder(folder, nullptr, records);
  return DuplicateGroups::toText(DuplicateSearch::run(records));
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
