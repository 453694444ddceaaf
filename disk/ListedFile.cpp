#include "disk/ListedFile.h"

#include "platform/storage/FileName.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

QString ListedFile::text(Result result) {
  switch (result) {
  case Result::Deleted:
    return QStringLiteral("deleted");
  case Result::Trashed:
    return QStringLiteral("trashed");
  case Result::Linked:
    return QStringLiteral("linked");
  case Result::Shared:
    return QStringLiteral("shared");
  case Result::Gone:
    return QStringLiteral("gone");
  case Result::Changed:
    return QStringLiteral("changed");
  case Result::KeptChanged:
    return QStringLiteral("keptChanged");
  case Result::NotListed:
    return QStringLiteral("notListed");
  case Result::OtherFileSystem:
    return QStringLiteral("otherFileSystem");
  case Result::Listed:
  case Result::Failed:
    break;
  }
  return QStringLiteral("failed");
}

ListedFile::Result ListedFile::find(const QString &path, const ShownFiles::Entry &entry,
                                    Found &found) {
  found.folder = FileWalker::openParent(FileName::toBytes(path), found.name);
  if (!found.folder.isValid())
    return errno == ENOENT ? Result::Gone : errno == EACCES ? Result::Failed : Result::Changed;
  struct stat &status = found.status;
  if (found.name.isEmpty() || ::fstat(found.folder.get(), &status) != 0 ||
      !(FileId::of(status) == entry.folder))
    return Result::Changed;
  if (::fstatat(found.folder.get(), found.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Result::Gone : Result::Failed;
  if (entry.isFolder)
    return S_ISDIR(status.st_mode) && FileId::of(status) == entry.id ? Result::Listed
                                                                     : Result::Changed;
  if (!S_ISREG(status.st_mode) || !(FileId::of(status) == entry.id) || !entry.unchangedAt(status))
    return Result::Changed;
  return Result::Listed;
}

std::unique_ptr<ReadOnlyFile> ListedFile::open(const QString &path,
                                               const ShownFiles::Entry &entry) {
  Found found;
  if (find(path, entry, found) != Result::Listed)
    return nullptr;
  return std::make_unique<ReadOnlyFile>(found.folder.get(), found.name.constData(), entry.id,
                                        entry.size);
}

QByteArray ListedFile::besideName(const QByteArray &name, int n) {
  return "." + name.left(NAME_MAX - 24) + ".tidewell-" + QByteArray::number(n);
}

ListedFile::Result ListedFile::swapIn(int folder, const QByteArray &temporary,
                                      const QByteArray &name,
                                      const std::function<bool(const struct stat &)> &expected,
                                      struct stat &left) {
  if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE) != 0) {
    const Result result = errno == ENOENT ? Result::Gone : Result::Failed;
    ::unlinkat(folder, temporary.constData(), 0);
    return result;
  }
  if (::fstatat(folder, temporary.constData(), &left, AT_SYMLINK_NOFOLLOW) == 0 && expected(left))
    return ::unlinkat(folder, temporary.constData(), 0) == 0 ? Result::Listed : Result::Failed;
  // Another file took the name meanwhile: it gets it back.
  if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE) != 0)
    return Result::Failed; // both names stay: nothing is lost
  ::unlinkat(folder, temporary.constData(), 0);
  return Result::Changed;
}
