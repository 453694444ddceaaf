#include "disk/DuplicateFileFinder.h"

#include "disk/DuplicateSearch.h"
#include "disk/FileDigest.h"
#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"
#include "platform/storage/ReadOnlyFile.h"

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

// The background form hashes as files arrive and pauses after each new one,
// so a long scan leaves the machine responsive. Each file is looked at a
// fixed number of times, so the work grows with the number of files.
class DuplicateFileScanContext : public ScanContext {
public:
  using ScanContext::ScanContext;

  QString run() {
    QueuedFolder folder;
    while (!stopRequested && takeFolder(folder)) {
      const int firstNew = files.size();
      collectFolder(folder.path, &stopRequested, files);
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
          hashUnhashed(sameSize);
        pause();
      }
      pause();
    }
    progressStep();
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

  void hashUnhashed(SizeGroup &group) {
    QVector<int> left;
    for (int k = 0; k < group.unhashed.size(); ++k) {
      const int i = group.unhashed[k];
      if (stopRequested) {
        left += group.unhashed.mid(k);
        break;
      }
      const std::unique_ptr<ReadOnlyFile> file = opener.open(i);
      const QByteArray hash = digest.ofFile(*file, &stopRequested);
      if (hash.isEmpty())
        left.append(i);
      else
        hashGroups.add(hash, files.record(i));
    }
    group.unhashed = left;
  }

  // One millisecond per pause on average: time a sleep overran (the thread
  // was off the processor all the same) shortens the pauses that follow, so
  // the pauses add up to what they are meant to and no more.
  void pause() {
    progressStep();
    if (overrun >= pausePerRecord) {
      overrun -= pausePerRecord;
      std::this_thread::yield();
      return;
    }
    // The sleep gives the processor away; no yield is needed before it.
    const auto until = std::chrono::steady_clock::now() + pausePerRecord - overrun;
    std::this_thread::sleep_until(until);
    overrun = std::max<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - until,
                                                 std::chrono::nanoseconds(0));
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
  std::chrono::nanoseconds overrun{0};
};

} // namespace

QString DuplicateFileFinder::findDuplicateFiles(const QString &folders) {
  FileRecord::resolveTimeZone();
  FileList files;
  for (const QString &folder : FolderList::parse(folders))
    collectFolder(folder, nullptr, files);
  return DuplicateSearch::run(files);
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
