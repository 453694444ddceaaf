#include "disk/DuplicateFileFinder.h"

#include "disk/DuplicateSearch.h"
#include "disk/FileDigest.h"
#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"

#include <QSet>

#include <algorithm>
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

// Only a folder the caller gave is expanded. The worker walks on its own
// thread, watching its stop flag; the immediate form uses every core.
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
// so a long scan leaves the machine responsive. Each file is looked at a
// fixed number of times, so the work grows with the number of files.
class DuplicateFileScanContext : public ScanContext {
public:
  using ScanContext::ScanContext;

  QString run() {
    QueuedFolder folder;
    while (!stopRequested && takeFolder(folder)) {
      QVector<FileRecord> records;
      collectFolder(folder.path, &stopRequested, records);
      for (const FileRecord &record : records) {
        if (stopRequested)
          break;
        if (seen.contains(record.id)) // found before, or a hard link to a file found before
          continue;
        seen.insert(record.id);
        SizeGroup &sameSize = sizeGroups[record.size];
        ++sameSize.count;
        sameSize.unhashed.append(record);
        if (sameSize.count >= 2)
          hashUnhashed(sameSize);
        pause();
      }
      pause();
    }
    progressStep();
    return hashGroups.toText();
  }

private:
  struct SizeGroup {
    int count = 0;
    // In the order they came. A file that failed to open stays here and is
    // tried again when its size group grows.
    QVector<FileRecord> unhashed;
  };

  void hashUnhashed(SizeGroup &group) {
    QVector<FileRecord> left;
    for (int i = 0; i < group.unhashed.size(); ++i) {
      const FileRecord &record = group.unhashed[i];
      if (stopRequested) {
        left += group.unhashed.mid(i);
        break;
      }
      const QByteArray hash = digest.ofFile(record, &stopRequested);
      if (hash.isEmpty())
        left.append(record);
      else
        hashGroups.add(hash, record);
    }
    group.unhashed = left;
  }

  // One millisecond per pause on average: a sleep that overran shortens the
  // next, so the pauses add up to what they are meant to and no more.
  void pause() {
    progressStep();
    std::this_thread::yield();
    const auto now = std::chrono::steady_clock::now();
    const auto until =
        now + pausePerRecord - std::min<std::chrono::nanoseconds>(overrun, pausePerRecord);
    std::this_thread::sleep_until(until);
    overrun = std::chrono::steady_clock::now() - until;
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
  std::map<qint64, SizeGroup> sizeGroups;
  DigestGroups hashGroups;
  QSet<FileId> seen;
  FileDigest digest;
  std::chrono::nanoseconds overrun{0};
};

} // namespace

QString DuplicateFileFinder::findDuplicateFiles(const QString &folders) {
  QVector<FileRecord> records;
  for (const QString &folder : FolderList::parse(folders))
    collectFolder(folder, nullptr, records);
  return DuplicateSearch::run(records).toText();
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
