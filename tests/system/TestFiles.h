#pragma once
// Small helpers for tests on real files.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

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

// Takes this thread's (and its future threads') power to read files whatever
// their permissions, so a mode-000 file fails to open even for root.
class WithoutReadOverride {
public:
  WithoutReadOverride() {
    header_ = {_LINUX_CAPABILITY_VERSION_3, 0};
    if (syscall(SYS_capget, &header_, saved_) != 0)
      return;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    active_ = syscall(SYS_capset, &header_, reduced) == 0;
  }
  ~WithoutReadOverride() {
    if (active_)
      syscall(SYS_capset, &header_, saved_);
  }
  WithoutReadOverride(const WithoutReadOverride &) = delete;
  WithoutReadOverride &operator=(const WithoutReadOverride &) = delete;
  bool active() const { return active_; }

private:
  __user_cap_header_struct header_;
  __user_cap_data_struct saved_[2] = {};
  bool active_ = false;
};
