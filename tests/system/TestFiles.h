#pragma once
// Small helpers for tests on real files.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

inline bool writeFile(const QString &path, const QByteArray &content) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A folder made immutable for as long as the object lives: nothing in it can
// be removed, even by root, whom permission bits do not stop.
class ImmutableFolder {
public:
  explicit ImmutableFolder(QString path) : path_(std::move(path)) {
    active_ = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path_}) == 0;
  }
  ~ImmutableFolder() {
    if (active_)
      QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path_});
  }
  ImmutableFolder(const ImmutableFolder &) = delete;
  ImmutableFolder &operator=(const ImmutableFolder &) = delete;
  bool active() const { return active_; }

private:
  QString path_;
  bool active_ = false;
};

#define SKIP_UNLESS_IMMUTABLE(guard)                                                               \
  if (!(guard).active())                                                                           \
  GTEST_SKIP() << "chattr +i is not supported here, so no file can be made unremovable for root"
