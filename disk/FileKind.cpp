#include "disk/FileKind.h"

#include <QHash>

namespace {

struct KindExtensions {
  FileKind::Kind kind;
  const char *text;
  const char *extensions; // space-separated, lower case
};

const KindExtensions table[] = {
    {FileKind::Other, "other", ""},
    {FileKind::Image, "image",
     "jpg jpeg png gif bmp webp tif tiff svg heic heif raw cr2 nef arw dng psd xcf ico avif"},
    {FileKind::Video, "video", "mp4 mkv avi mov wmv flv webm m4v mpg mpeg ts vob 3gp"},
    {FileKind::Audio, "audio", "mp3 flac wav ogg oga opus m4a aac wma ape aiff mid"},
    {FileKind::Document, "document",
     "pdf doc docx xls xlsx ppt pptx odt ods odp rtf txt md epub djvu csv tex"},
    {FileKind::Archive, "archive",
     "zip rar 7z tar gz tgz bz2 xz zst lz4 lzma iso img dmg deb rpm cab jar apk snap "
     "appimage flatpak qcow2 vdi vmdk"},
    {FileKind::Code, "code",
     "c cc cpp cxx h hpp py js mjs ts java go rs rb php cs swift kt sh pl lua html css json xml "
     "yml yaml toml o a obj pyc class"},
    {FileKind::Program, "program", "so exe dll bin run msi node wasm"},
    {FileKind::Link, "link", ""},
    {FileKind::Special, "special", ""},
};

const QHash<QByteArray, FileKind::Kind> &kindsByExtension() {
  static const QHash<QByteArray, FileKind::Kind> kinds = [] {
    QHash<QByteArray, FileKind::Kind> found;
    for (const KindExtensions &row : table)
      for (const QByteArray &extension : QByteArray(row.extensions).split(' '))
        if (!extension.isEmpty())
          found.insert(extension, row.kind);
    return found;
  }();
  return kinds;
}

} // namespace

FileKind::Kind FileKind::of(const char *name, int length) {
  int dot = length - 1;
  while (dot > 0 && name[dot] != '.' && length - dot <= 10)
    --dot;
  if (dot <= 0 || name[dot] != '.' || dot == length - 1)
    return Other;
  const QByteArray extension = QByteArray(name + dot + 1, length - dot - 1).toLower();
  return kindsByExtension().value(extension, Other);
}

QString FileKind::text(Kind kind) {
  return QString::fromLatin1(table[kind].text);
}
