#pragma once
// Moves the swap onto another file system in an order that never leaves the
// machine without it: create the new file (mode 0600, no holes), mkswap,
// swapon, record it in fstab, and only then swapoff and delete the old files.
// Any failure undoes every step already taken. Needs CAP_SYS_ADMIN for the
// real commands; runs in the privileged helper, or directly as root.
#include <QString>
#include <QVector>
#include <functional>

#include "platform/swap/SwapPaths.h"

class SwapFileMove {
public:
  static constexpr quint64 defaultSizeBytes = 8192ull << 20;

  explicit SwapFileMove(SwapPaths paths);

  bool run(const QString &mountPoint);
  // What went wrong in the last failed run, for people.
  const QString &error() const { return error_; }

private:
  bool fail(const QString &message);
  bool createFile(const QString &path, quint64 sizeBytes);
  bool runCommand(const QString &program, const QString &file, int timeoutMs);
  bool replaceFile(const QString &path, const QByteArray &content, unsigned mode);
  bool undo();

  SwapPaths paths_;
  QString error_;
  QVector<std::function<void()>> undoSteps_;
};
