#pragma once
// Copying, removing and creating files and folders; hashing and encoding.
#include <QString>

class FileService {
public:
  bool copyFile(const QString &source, const QString &destination, bool overwrite);
  bool removeFile(const QString &path);
  bool removeDir(const QString &path);
  bool mkdir(const QString &path);
  QString getFileSha256(const QString &path);
  QString toBase64Str(const QString &text);
  // Bytes free on the file system holding path (which must exist); -1 when
  // that cannot be told.
  double getFreeSpace(const QString &path);
};
