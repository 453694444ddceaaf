#pragma once
// @sys file-system calls: readdir, stat, mkdir, copyfile, realpath, statfs,
// rmdir, readfile, writefile. Paths
// may use either separator; names that are not valid UTF-8 travel in
// FileName's text form both ways. Without file access every call fails.
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

class FileSystemModule {
public:
  static QJsonValue call(const QString &op, const QJsonArray &args);

private:
  static QJsonValue readdir(const QString &path);
  static QJsonValue stat(const QString &path);
  static QJsonValue mkdir(const QString &path);
  static QJsonValue copyfile(const QString &source, const QString &destination);
  static QJsonValue realpath(const QString &path);
  static QJsonValue statfs(const QString &path);
  static QJsonValue rmdir(const QString &path);
  static QJsonValue readfile(const QString &path);
  static QJsonValue writefile(const QString &path, const QString &text);
};
