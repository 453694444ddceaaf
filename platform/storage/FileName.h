#pragma once
// File names are bytes on Linux, text (QString, JSON) everywhere else. This is
// the one conversion between the two; every path a page or a caller hands in
// goes through toBytes, every name the walker reports through fromBytes.
//
// Valid UTF-8 decodes as UTF-8. Every byte that is not part of a valid UTF-8
// sequence (b in 0x80..0xFF) becomes the private-use character U+EF00 + b
// (U+EF80..U+EFFF), which survives JSON and script strings unchanged; toBytes
// turns each such character back into its byte. A name whose valid UTF-8
// spells one of those characters is escaped byte by byte, so any name read
// from the disk gives back exactly its bytes: fromBytes then toBytes is the
// identity. Text typed with those characters maps to raw bytes, as documented.
#include <QByteArray>
#include <QString>

namespace FileName {

constexpr ushort escapeBase = 0xEF00;

QString fromBytes(const char *bytes, int length);
QString fromBytes(const QByteArray &bytes);
QByteArray toBytes(const QString &text);

} // namespace FileName
