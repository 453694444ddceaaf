#pragma once
// What the machine accumulates outside the home: unused Flatpak runtimes,
// disabled Snap revisions, the journal, the APT archive, core dumps and
// rotated logs. The table lives here, in code; cleaner data may only name
// one of its ids, never a path or a command line.
//
// - A cleaner lists what it would remove before it removes anything: files
//   beneath a fixed folder (no link followed, no other mount entered, only
//   folders root alone may change, only single-linked regular files whose
//   names match), or the refs and revisions its tool reports as unused.
// - Each listed item carries a key (device:inode:size:mtime for a file, the
//   ref or name/revision otherwise). Cleaning takes the keys the caller saw
//   and removes only items it lists again itself with the same key: a file
//   changed, replaced or linked since then stays.
// - Commands run through CommandRunner (no shell), with a time limit; a
//   missing tool or folder makes the cleaner absent, with a word why.
// - Cleaners that need root run, for a user who is not root, in the
//   privileged helper through pkexec, one run per cleaner.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

struct SystemItem {
  QString path; // what the user sees
  qint64 size = 0;
  QString key;
};

struct SystemListing {
  bool absent = false; // nothing to clean here: the tool or folder is missing
  QString note;        // why absent, or the tool's own report
  QString command;     // what cleaning runs, for people
  QVector<SystemItem> items;

  qint64 bytes() const;
};

struct SystemCleanResult {
  // "cleaned", "partly" (some listed items stayed), "failed", "absent",
  // "refused" (not an allow-listed id) or "notAuthorised".
  QString result;
  int removed = 0;
  int left = 0;     // listed items still there, changed or not removable
  qint64 freed = 0; // the listed sizes of the items now gone
  QString detail;

  QJsonObject toJson(const QString &id) const;
  static SystemCleanResult fromJson(const QJsonObject &object);
};

class SystemCleaners {
public:
  // root is "/" except in the helper's test build.
  explicit SystemCleaners(QString root = QStringLiteral("/"));

  static bool isKnown(const QString &id);
  static bool needsRoot(const QString &id);

  SystemListing list(const QString &id) const;
  // Cleans here, as the running user.
  SystemCleanResult cleanHere(const QString &id, const QStringList &keys) const;
  // Cleans here, or through the privileged helper when root is needed and
  // we are not root.
  SystemCleanResult clean(const QString &id, const QStringList &keys) const;

private:
  QString root_;
};
