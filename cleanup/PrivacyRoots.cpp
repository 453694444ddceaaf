#include "cleanup/PrivacyRoots.h"

#include <QFileInfo>

#include <cerrno>

#include "platform/storage/FileName.h"

PrivacyRoots::PrivacyRoots(const PrivacyEnvironment &environment)
    : sessionFolders_({environment.home, environment.configHome, environment.dataHome,
                       environment.cacheHome, environment.tempFolder}) {}

int PrivacyRoots::rootFor(const QString &path, bool onItsVolume, QByteArray &beneath) {
  QString root;
  if (onItsVolume) {
    root = QFileInfo(path).path();
  } else {
    for (const QString &folder : sessionFolders_)
      if (folder.size() > root.size() && folder.startsWith(QLatin1Char('/')) &&
          (path == folder || path.startsWith(folder + QLatin1Char('/'))))
        root = folder;
    if (root.isEmpty())
      root = QFileInfo(path).path();
  }
  // A folder of the session is taken as the session names it; any other
  // root is never a link itself.
  const bool session = sessionFolders_.contains(root);
  beneath = FileName::toBytes(path.mid(root.size() + 1));
  auto found = opened_.find(root);
  if (found == opened_.end())
    found =
        opened_.emplace(root, FileWalker::openDirectory(FileName::toBytes(root), session)).first;
  if (!found->second.isValid())
    errno = ENOENT; // nothing there to measure or clean
  return found->second.get();
}

UniqueFd PrivacyRoots::open(const PrivacyTarget &target, QByteArray &name) {
  QByteArray beneath;
  const int root = rootFor(target.path, target.action == CleanAction::EmptyTrash, beneath);
  if (root < 0)
    return UniqueFd();
  if (target.action != CleanAction::ReplaceRecentList)
    return FileWalker::openBeneath(root, beneath);
  const int slash = beneath.lastIndexOf('/');
  name = beneath.mid(slash + 1);
  return FileWalker::openBeneath(root, slash < 0 ? QByteArray() : beneath.left(slash));
}
