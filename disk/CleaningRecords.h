#pragma once
// What each cleaning of listed files did, kept so that it can be undone: one
// JSON file per cleaning in a private folder beside the logs
// ($XDG_STATE_HOME/Tidewell/cleanings, 0700; files 0600, replaced whole, never
// half-written). The history the pages keep names a record by its id.
//
// A record is {"mode": M, "time": T, "items": [...]}; every item has "path",
// "result" and "size", and by result:
//   "trashed": "trash" (the trash folder) and "name" (its name in "files"),
//              "file" (device:inode);
//   "linked":  "kept" (the path it links to), "file" (the kept file's
//              device:inode), "folder" (the folder holding the path,
//              device:inode), and the replaced copy's "owner", "group",
//              "mode", "accessed" and "modified" (seconds.nanoseconds);
//   "shared":  "kept";
//   "undone":  true once put back.
// Paths are their bytes percent-encoded (as a .trashinfo's Path=), so a name
// that is not UTF-8 survives.
#include "platform/storage/FileWalker.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace CleaningRecords {

// The records beyond this many, oldest first, are dropped.
constexpr int kept = 500;

QString folder();

// The new record's id, or "" when it could not be written.
QString add(const QJsonObject &record);
// False when there is no such record (or the id is not one of ours).
bool read(const QString &id, QJsonObject &record);
bool replace(const QString &id, const QJsonObject &record);
// Drops every record; false when one could not be removed.
bool clear();

QString encodedPath(const QByteArray &path);
QByteArray decodedPath(const QString &stored);
// "device:inode"
QString fileText(const FileId &file);
FileId fileOf(const QString &text);

} // namespace CleaningRecords
