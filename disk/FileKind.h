#pragma once
// What kind of file a name suggests, by its extension, for colouring a space
// map: a small table of data (FileKind.cpp), matched without regard to case.
#include <QByteArray>
#include <QString>

namespace FileKind {

enum Kind : quint8 { Other, Image, Video, Audio, Document, Archive, Code, Program, Link, Special };

Kind of(const char *name, int length);
// "other", "image", "video", "audio", "document", "archive", "code",
// "program", "link", "special"; "folder" is the caller's own.
QString text(Kind kind);

} // namespace FileKind
