#include "disk/LargeFileScanner.h"

#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/ScanRegistry.h"
#include "disk/ShownFiles.h"

#include <cmath>
#include <limits>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 500ms;
// Folders a background scan keeps open, the ones used last: the folders
// listed one after another share most of their ancestors, and several scans
// may run at once.
constexpr int heldFolders = 64;

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
  LargeFileScanContext(const QString &folderList, qint64 minimumSize, ScriptCallback callback)
      : ScanContext(FolderList::parse(folderList), std::move(callback)),
        filter{minimumSize, FileTree::Access::Readable, FolderList::includesHidden(folderList)},
        folders(records, 1, 1, heldFolders) {}

  QString run() {
    QueuedFolder folder;
    while (!stopRequested && takeFolder(folder)) {
      scanFolder(folder);
      progressStep();
    }
    progressStep();
    return shownText(records);
  }

private:
  void scanFolder(const QueuedFolder &queued) {
    UniqueFd given;
    const int folder = queued.found >= 0
                           ? queued.found
                           : FileTree::addRoot(FolderList::expand(queued.path), records, given);
    const int fd = queued.found >= 0 ? folders.folder(folder) : given.get();
    QVector<int> subfolders;
    if (fd < 0 || !FileTree::listLevel(fd, folder, filter, stopRequested, records, subfolders))
      return;
    QVector<QueuedFolder> found;
    found.reserve(subfolders.size());
    for (int subfolder : subfolders)
      found.append({QString(), subfolder});
    appendFolders(found);
  }

  void progressStep() {
    if (progressDue(progressInterval) && !records.isEmpty())
      send("progress", listText(records));
  }

  const FileTree::Filter filter;
  FileList records;         // discovery order; the worker's alone
  FileList::Opener folders; // found folders, each from its parent's descriptor
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
