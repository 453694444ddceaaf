#include "disk/LargeFileScanner.h"

#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"
#include "disk/ShownFiles.h"

#include <cmath>
#include <limits>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 500ms;

ScanRegistry &registry() {
  static ScanRegistry *scans =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *scans;
}

QString listText(const FileList &files) {
  return files.listText(files.bySize());
}

// A scan's final list: each file in it is remembered for a later deletion.
QString shownText(const FileList &files) {
  const std::vector<int> order = files.bySize();
  for (int index : order)
    ShownFiles::largeFiles().add(files.record(index));
  return files.listText(order);
}

class LargeFileScanContext : public ScanContext {
public:
  LargeFileScanContext(const QString &folders, qint64 minimumSize, ScriptCallback callback)
      : ScanContext(FolderList::parse(folders), std::move(callback)),
        filter{minimumSize, FileTree::Access::Readable, FolderList::includesHidden(folders)} {}

  QString run() {
    QueuedFolder folder;
    while (!stopRequested && takeFolder(folder)) {
      scanFolder(folder);
      progressStep();
      std::this_thread::yield();
    }
    progressStep();
    return shownText(records);
  }

private:
  void scanFolder(const QueuedFolder &folder) {
    QVector<FileTree::Subfolder> subfolders;
    const QString path = folder.found ? folder.path : FolderList::expand(folder.path);
    if (!FileTree::listLevel(path, folder.found ? &folder.id : nullptr, filter, stopRequested,
                             records, subfolders) ||
        subfolders.isEmpty())
      return;
    QVector<QueuedFolder> queued;
    queued.reserve(subfolders.size());
    for (const FileTree::Subfolder &subfolder : subfolders)
      queued.append({subfolder.path, true, subfolder.id});
    appendFolders(queued);
  }

  void progressStep() {
    if (progressDue(progressInterval) && !records.isEmpty())
      send("progress", listText(records));
  }

  const FileTree::Filter filter;
  FileList records; // discovery order; the worker's alone
};

} // namespace

qint64 LargeFileScanner::minimumBytes(float minimumSize) {
  if (std::isnan(minimumSize) || minimumSize <= 0)
    return 0;
  if (minimumSize >= float(std::numeric_limits<qint64>::max()))
    return std::numeric_limits<qint64>::max();
  return qint64(minimumSize);
}

QString LargeFileScanner::scanLargeFiles(const QString &folders, float minimumSize) {
  const FileTree::Filter filter{minimumBytes(minimumSize), FileTree::Access::Readable,
                                FolderList::includesHidden(folders)};
  FileRecord::resolveTimeZone();
  FileList records;
  for (const QString &folder : FolderList::parse(folders)) {
    const QString directory = FileTree::directoryPath(FolderList::expand(folder));
    if (!directory.isEmpty())
      FileTree::collectInParallel(directory, filter, records);
  }
  return shownText(records);
}

int LargeFileScanner::startScanLargeFiles(const QString &folders, float minimumSize,
                                          ScriptCallback callback) {
  auto context = std::make_shared<LargeFileScanContext>(folders, minimumBytes(minimumSize),
                                                        std::move(callback));
  return registry().start(
      context, [context] { return context->run(); }, QStringLiteral("scan large files failed"));
}

bool LargeFileScanner::stopScanLargeFiles(int id) {
  return registry().stop(id);
}

bool LargeFileScanner::addScanLargeFilesFolder(int id, const QString &folder) {
  return registry().addFolder(id, folder);
}

void LargeFileScanner::stopAllScans() {
  registry().stopAllAndWait();
}
