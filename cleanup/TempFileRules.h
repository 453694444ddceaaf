#pragma once
// Which entries of the temporary folder a cleaner may delete: only the
// user's own regular files and folders, untouched for an hour, that no
// process holds open (descriptor, mapping or working folder), never the
// session's socket folders, systemd's private folders or Qt's shared-memory
// key files. A folder goes only once it is empty.
#include <QByteArray>
#include <QSet>
#include <QString>

#include <sys/types.h>

#include "cleanup/EntryRules.h"
#include "platform/storage/FileWalker.h"

// Every file that some process we can look at holds open, maps, or works in.
QSet<FileId> filesInUse(const QString &procFolder = QStringLiteral("/proc"));

class TempFileRules : public EntryRules {
public:
  static constexpr qint64 minimumAgeSecs = 60 * 60;

  TempFileRules(uid_t uid, qint64 nowSecs, QSet<FileId> inUse);
  // With the current time and the processes running now.
  static TempFileRules current(uid_t uid);

  static bool isExcludedName(const QByteArray &name);
  bool mayEnter(const WalkEntry &entry) const override;
  bool mayDelete(const WalkEntry &entry) const override;

private:
  uid_t uid_;
  qint64 nowSecs_;
  QSet<FileId> inUse_;
};
