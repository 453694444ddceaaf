#include "system/FileService.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include "host/log/Log.h"

bool FileService::copyFile(const QString &source, const QString &destination, bool overwrite) {
  Log::info("NativeUtil", "copy file from {} to {}. overwrite: {}", source.toStdString(),
            destination.toStdString(), overwrite);
  if (!QFile::exists(source)) {
    Log::info("NativeUtil", "copy file failed. file {} does NOT exists!", source.toStdString());
    return false;
  }
  if (overwrite && QFile::exists(destination)) {
    Log::info("NativeUtil", "destination file {} exists. try to remove it first",
              destination.toStdString());
    if (!QFile::remove(destination))
      Log::info("NativeUtil", "cannot remove destination file {}", destination.toStdString());
  }
  // QFile::copy never replaces a file: a destination still there fails it.
  const bool copied = QFile::copy(source, destination);
  Log::info("NativeUtil", "copy file result: {}", copied);
  return copied;
}

bool FileService::removeFile(const QString &path) {
  const bool removed = QFile::remove(path);
  Log::info("NativeUtil", "remove file {} result: {}", path.toStdString(), removed);
  return removed;
}

bool FileService::removeDir(const QString &path) {
  // QDir("") is the current folder: an empty path must never empty it.
  const bool removed = !path.isEmpty() && QDir(path).removeRecursively();
  Log::info("NativeUtil", "remove dir {} result: {}", path.toStdString(), removed);
  return removed;
}

bool FileService::mkdir(const QString &path) {
  const QDir dir(path);
  return dir.exists() || dir.mkpath(QStringLiteral("."));
}

QString FileService::getFileSha256(const QString &path) {
  Log::info("NativeUtil", "try to get file {} sha256", path.toStdString());
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QString();
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file))
    return QString();
  return QString::fromLatin1(hash.result().toHex());
}

QString FileService::toBase64Str(const QString &text) {
  return QString::fromLatin1(text.toUtf8().toBase64(QByteArray::Base64UrlEncoding));
}
