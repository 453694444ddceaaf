#include "platform/storage/TrustedFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TrustedFolder {
namespace {

bool trustedOwner(uid_t owner) {
  return owner == 0 || owner == ::geteuid();
}

bool othersMayWrite(const struct stat &info) {
  return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// The folders above the path's last component with their links resolved,
// and the names from there on; the last one is never followed.
QString resolved(const QString &path, QStringList &rest) {
  QString above = QDir::cleanPath(path);
  do {
    rest.prepend(QFileInfo(above).fileName());
    above = QFileInfo(above).path();
  } while (!QFileInfo::exists(above) && above != QLatin1String("/"));
  return QFileInfo(above).canonicalFilePath();
}

UniqueFd walk(const QString &path, bool make, QString &error) {
  if (!QDir::isAbsolutePath(path)) {
    error = QStringLiteral("not an absolute path: ") + path;
    return UniqueFd();
  }
  QStringList rest;
  const QString above = resolved(path, rest);
  if (above.isEmpty() || path == QLatin1String("/")) {
    error = QStringLiteral("no such folder: ") + path;
    return UniqueFd();
  }
  const QStringList names = above.split(QLatin1Char('/'), Qt::SkipEmptyParts) + rest;
  UniqueFd folder(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat info {};
  if (!folder.isValid() || ::fstat(folder.get(), &info) != 0 || !trustedOwner(info.st_uid)) {
    error = QStringLiteral("the root folder is not trusted");
    return UniqueFd();
  }
  QString walked;
  for (const QString &name : names) {
    const struct stat parent = info;
    walked += QLatin1Char('/') + name;
    const QByteArray native = QFile::encodeName(name);
    UniqueFd next(::openat(folder.get(), native.constData(),
                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.isValid() && errno == ENOENT && make &&
        ::mkdirat(folder.get(), native.constData(), 0700) == 0)
      next.reset(::openat(folder.get(), native.constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.isValid()) {
      const int cause = errno;
      error = cause == ELOOP || cause == ENOTDIR
                  ? walked + QStringLiteral(" is a link or not a folder")
                  : QStringLiteral("cannot open %1: %2").arg(walked, qt_error_string(cause));
      return UniqueFd();
    }
    if (::fstat(next.get(), &info) != 0) {
      error = QStringLiteral("cannot open %1: %2").arg(walked, qt_error_string(errno));
      return UniqueFd();
    }
    // Others who may write to the folder before could have put this entry there.
    if (othersMayWrite(parent) && !((parent.st_mode & S_ISVTX) && trustedOwner(info.st_uid))) {
      error = QFileInfo(walked).path() + QStringLiteral(" is writable by others");
      return UniqueFd();
    }
    if (!trustedOwner(info.st_uid)) {
      error = walked + QStringLiteral(" belongs to another user");
      return UniqueFd();
    }
    folder = std::move(next);
  }
  if (info.st_uid != ::geteuid()) {
    error = walked + QStringLiteral(" belongs to another user");
    return UniqueFd();
  }
  if (othersMayWrite(info)) {
    error = walked + QStringLiteral(" is writable by others");
    return UniqueFd();
  }
  return folder;
}

} // namespace

UniqueFd open(const QString &path, QString &error) {
  return walk(path, false, error);
}

UniqueFd openOrMake(const QString &path, QString &error) {
  return walk(path, true, error);
}

} // namespace TrustedFolder
