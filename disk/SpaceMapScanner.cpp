#include "disk/SpaceMapScanner.h"

#include "disk/FileTree.h"
#include "disk/FolderList.h"
#include "disk/JsonText.h"
#include "disk/ScanRegistry.h"
#include "disk/ShownFiles.h"
#include "disk/SpaceTree.h"
#include "platform/storage/FileName.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 500ms;
constexpr int keptTrees = 2;
constexpr int listedItems = 2000;

ScanRegistry &registry() {
  static ScanRegistry *scans =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *scans;
}

// The trees of the latest scans, by scan id.
class Trees {
public:
  void add(int id, const std::shared_ptr<SpaceTree> &tree) {
    const std::lock_guard<std::mutex> lock(mutex_);
    trees_[id] = tree;
    while (trees_.size() > size_t(keptTrees))
      trees_.erase(trees_.begin());
  }
  std::shared_ptr<SpaceTree> find(int id) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = trees_.find(id);
    return found == trees_.end() ? nullptr : found->second;
  }

private:
  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<SpaceTree>> trees_;
};

Trees &trees() {
  static Trees *kept = new Trees;
  return *kept;
}

double number(quint64 value) {
  return double(value);
}

QJsonObject summary(const SpaceTree &tree) {
  const SpaceTree::Sizes total = tree.total();
  return {{QStringLiteral("path"), tree.path()},
          {QStringLiteral("allocated"), number(total.allocated)},
          {QStringLiteral("apparent"), number(total.apparent)},
          {QStringLiteral("files"), number(tree.files())},
          {QStringLiteral("folders"), number(tree.folders())}};
}

class SpaceMapContext : public ScanContext {
public:
  SpaceMapContext(const QString &folder, ScriptCallback callback)
      : ScanContext(QStringList(), std::move(callback)), folder(folder) {}

  QString run() {
    const QString given = folder.isEmpty() ? QDir::homePath() : FolderList::expand(folder);
    const QString path = FileTree::directoryPath(given);
    const UniqueFd root =
        path.isEmpty() ? UniqueFd() : FileWalker::openDirectory(FileName::toBytes(path), true);
    struct stat status;
    if (!root.isValid() || ::fstat(root.get(), &status) != 0)
      throw std::runtime_error("no folder");
    tree = std::make_shared<SpaceTree>(path, status);
    trees().add(id, tree);

    // open[d] is the folder holding the entries at depth d + 1.
    std::vector<quint32> open{SpaceTree::root};
    quint64 entries = 0;
    FileWalker walker;
    walker.setStopFlag(&stopRequested);
    const auto enter = [&](const WalkEntry &entry) {
      if (++entries % 1024 == 0 && progressDue(progressInterval))
        send("progress", JsonText::indented(summary(*tree)));
      const quint32 parent = open[size_t(entry.depth - 1)];
      if (entry.type != EntryType::Directory) {
        tree->addFile(parent, entry);
        return FileWalker::Action::Continue;
      }
      if (entry.otherFileSystem) // as du -x: neither entered nor counted
        return FileWalker::Action::Skip;
      open.resize(size_t(entry.depth));
      open.push_back(tree->addFolder(parent, entry));
      return FileWalker::Action::Continue;
    };
    const auto leave = [&](const WalkEntry &entry) {
      tree->finishFolder(open[size_t(entry.depth)]);
      return FileWalker::Action::Continue;
    };
    walker.walk(root.get(), enter, leave);
    if (!walker.stopped())
      tree->finishFolder(SpaceTree::root);
    return JsonText::indented(summary(*tree));
  }

private:
  const QString folder;
  std::shared_ptr<SpaceTree> tree;
};

QString childPath(const QString &folder, const QByteArray &name) {
  return (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) +
         FileName::fromBytes(name);
}

} // namespace

int SpaceMapScanner::startScanSpaceMap(const QString &folder, ScriptCallback callback) {
  auto context = std::make_shared<SpaceMapContext>(folder, std::move(callback));
  return registry().start(
      context, [context] { return context->run(); }, QStringLiteral("scan space map failed"));
}

bool SpaceMapScanner::stopScanSpaceMap(int id) {
  return registry().stop(id);
}

QString SpaceMapScanner::spaceMapChildren(int id, const QString &path, bool apparent) {
  const std::shared_ptr<SpaceTree> tree = trees().find(id);
  SpaceTree::Listing listing;
  if (!tree || !tree->list(path, listing))
    return QString();
  const auto chosen = [apparent](const SpaceTree::Sizes &sizes) {
    return apparent ? sizes.apparent : sizes.allocated;
  };
  std::stable_sort(listing.items.begin(), listing.items.end(),
                   [&](const SpaceTree::Item &a, const SpaceTree::Item &b) {
                     return chosen(a.sizes) > chosen(b.sizes);
                   });
  // A folder of many thousand subfolders: the smallest join the rest.
  while (listing.items.size() > size_t(listedItems)) {
    listing.rest += listing.items.back().sizes;
    ++listing.restCount;
    listing.items.pop_back();
  }
  const double whole = std::max(1.0, number(chosen(listing.total)));
  QJsonArray items;
  for (const SpaceTree::Item &item : listing.items) {
    const QString itemPath = childPath(path, item.name);
    QJsonObject shown{{QStringLiteral("name"), FileName::fromBytes(item.name)},
                      {QStringLiteral("path"), itemPath},
                      {QStringLiteral("kind"),
                       item.folder ? QStringLiteral("folder") : FileKind::text(item.kind)},
                      {QStringLiteral("allocated"), number(item.sizes.allocated)},
                      {QStringLiteral("apparent"), number(item.sizes.apparent)},
                      {QStringLiteral("share"), number(chosen(item.sizes)) / whole},
                      {QStringLiteral("complete"), item.complete}};
    items.append(shown);
    if (item.folder || (item.kind != FileKind::Link && item.kind != FileKind::Special))
      ShownFiles::spaceMap().add(itemPath, {item.id, listing.id, qint64(item.sizes.apparent),
                                            item.modifiedNs, QByteArray(), item.folder});
  }
  const QJsonObject rest{{QStringLiteral("count"), number(listing.restCount)},
                         {QStringLiteral("allocated"), number(listing.rest.allocated)},
                         {QStringLiteral("apparent"), number(listing.rest.apparent)},
                         {QStringLiteral("share"), number(chosen(listing.rest)) / whole}};
  return JsonText::indented({{QStringLiteral("path"), path},
                             {QStringLiteral("allocated"), number(listing.total.allocated)},
                             {QStringLiteral("apparent"), number(listing.total.apparent)},
                             {QStringLiteral("complete"), listing.complete},
                             {QStringLiteral("items"), items},
                             {QStringLiteral("rest"), rest}});
}

bool SpaceMapScanner::forgetSpaceMapItem(int id, const QString &path) {
  const std::shared_ptr<SpaceTree> tree = trees().find(id);
  const QByteArray bytes = FileName::toBytes(path);
  // Only what is gone, or is no longer what the map showed, leaves it.
  const auto present = [&bytes](const FileId &shown) {
    struct stat status;
    if (::fstatat(AT_FDCWD, bytes.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
      return FileId::of(status) == shown;
    return errno != ENOENT && errno != ENOTDIR;
  };
  return tree && tree->remove(path, present);
}

void SpaceMapScanner::stopAllScans() {
  registry().stopAllAndWait();
}
