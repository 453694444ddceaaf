#include "system/FileService.h"

#include "base/log/Log.h"
#include "disk/FileDigest.h"
#include "platform/storage/FileCopy.h"
#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"
#include "platform/storage/FolderMaker.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Paths from pages go to the file system through FileName, so a name that is
// not valid UTF-8, found by a scan, names the same file here.

bool FileService::copyFile(const QString &source, const QString &destination, bool overwrite) {
  Log::info("NativeUtil", "copy file from {} to {}. overwrite: {}", source.toStdString(),
            destination.toStdString(), overwrite);
  FileCopy copy;
  copy.overwrite = overwrite;
  const FileCopy::Result result = copy.copy(source, destination);
  if (result == FileCopy::Result::SourceMissing) {
    Log::info("NativeUtil", "copy file failed. file {} does NOT exists!", source.toStdString());
    return false;
  }
  if (overwrite && copy.destinationExisted())
    Log::info("NativeUtil", "destination file {} exists. try to remove it first",
              destination.toStdString());
  if (result == FileCopy::Result::DestinationNotReplaceable)
    Log::info("NativeUtil", "cannot remove destination file {}", destination.toStdString());
  else if (result != FileCopy::Result::Copied && result != FileCopy::Result::DestinationExists)
    Log::info("NativeUtil", "copy file failed: {}", copy.reason().toStdString());
  const bool copied = result == FileCopy::Result::Copied;
  Log::info("NativeUtil", "copy file result: {}", copied);
  return copied;
}

bool FileService::removeFile(const QString &path) {
  // The entry itself: a link goes, its target stays; a folder is not a file.
  QByteArray name;
  const UniqueFd folder = FileWalker::openParent(FileName::toBytes(path), name);
  const bool removed =
      folder.isValid() && !name.isEmpty() && ::unlinkat(folder.get(), name.constData(), 0) == 0;
  Log::info("NativeUtil", "remove file {} result: {}", path.toStdString(), removed);
  return removed;
}

bool FileService::removeDir(const QString &path) {
  // An empty path would name the current folder: it is never emptied. A
  // link is removed itself, never what it points at.
  bool removed = false;
  if (!path.isEmpty()) {
    QByteArray name;
    const UniqueFd folder = FileWalker::openParent(FileName::toBytes(path), name);
    struct stat status;
    if (folder.isValid() && !name.isEmpty())
      // A file that is not a folder (nor a link) is not removed as one.
      removed = ::fstatat(folder.get(), name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                        !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode)
                    ? false
                    : FileWalker::removeTree(folder.get(), name);
    else
      removed = !folder.isValid() && errno == ENOENT; // nothing there: nothing to remove
  }
  Log::info("NativeUtil", "remove dir {} result: {}", path.toStdString(), removed);
  return removed;
}

bool FileService::mkdir(const QString &path) {
  return FolderMaker().make(FileName::toBytes(path)) == 0;
}

QString FileService::getFileSha256(const QString &path) {
  Log::info("NativeUtil", "try to get file {} sha256", path.toStdString());
  // Regular files only, read no further than their size: a FIFO or device
  // gives the empty string at once.
  FileDigest digest;
  return QString::fromLatin1(digest.ofFile(path));
}

QString FileService::toBase64Str(const QString &text) {
  return QString::fromLatin1(text.toUtf8().toBase64(QByteArray::Base64UrlEncoding));
}
