#pragma once
// Moves the swap onto another file system in an order that never leaves the
// machine without it: create the new file (mode 0600, no holes), mkswap,
// swapon, record it in fstab, and only then swapoff and delete the old files.
// Any failure undoes every step already taken. Needs CAP_SYS_ADMIN for the
// real commands; runs in the privileged helper, or directly as root.
//
// Running as root on a folder others might change, it trusts no path twice:
// - the target folder and every folder on its way must be writable by root
//   (or the running user) only, and is held open from the start;
// - the new file is created there exclusively, never through a link, under a
//   name of its own until mkswap made it swap, and is written through its
//   descriptor;
// - mkswap, swapon and swapoff get the file through our descriptor
//   (/proc/PID/fd/N), and before and after each command the name must still
//   be that file; the old files are held open from the start too, and are
//   renamed and deleted in their folder only while the name is that file.
// A run that was killed leaves its partial file, or the new file not yet on,
// or on beside the old ones: the next run takes the file back, or finishes
// the move.
#include <QString>
#include <QVector>
#include <functional>
#include <vector>

#include "platform/storage/FileWalker.h"
#include "platform/swap/SwapPaths.h"

class SwapFileMove {
public:
  static constexpr quint64 defaultSizeBytes = 8192ull << 20;

  explicit SwapFileMove(SwapPaths paths);

  bool run(const QString &mountPoint);
  // What went wrong in the last failed run, for people.
  const QString &error() const { return error_; }

private:
  // An active swap file to move away from.
  struct OldFile {
    QString path;
    UniqueFd folder;
    QByteArray name;
    UniqueFd file;
  };

  bool fail(const QString &message);
  bool openOldFiles(const QStringList &paths);
  bool takeBack(const QByteArray &name, const QString &path);
  bool createFile(const QByteArray &name, const QString &path, quint64 sizeBytes);
  bool openSwapFile(const QByteArray &name, const QString &path);
  bool isStillNamed(const QByteArray &name);
  QString descriptorPath(int fd) const;
  bool runCommand(const QString &program, const QString &argument, const QString &file,
                  int timeoutMs);
  bool replaceFile(const QString &path, const QByteArray &content, unsigned mode);
  bool undo();

  SwapPaths paths_;
  QString error_;
  QVector<std::function<void()>> undoSteps_;
  UniqueFd folder_; // the target folder
  UniqueFd file_;   // the new swap file, read-only
  std::vector<OldFile> oldFiles_;
};
