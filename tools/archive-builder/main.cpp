// archive-builder INPUT_DIR OUTPUT_FILE
// Packs every file below INPUT_DIR into a "SAr" archive. On any failure (a
// folder or file that cannot be read included) it names the cause and the
// path and leaves no output file behind.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <dirent.h>
#include <sys/stat.h>

#include "engine/archive/ArchiveWriter.h"

namespace {

int fail(const QString &outputFile, const QString &message) {
  // A stale archive from an earlier run must not pass for this one's; what
  // is not a regular file (a device, a folder) was never ours to remove.
  if (QFileInfo(outputFile).isFile())
    QFile::remove(outputFile);
  std::fprintf(stderr, "archive-builder: %s\n", qPrintable(message));
  return 1;
}

QString systemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

// Adds every file below root/relative; false with *error set at the first
// folder or file that cannot be read. Links to files are read; links to
// folders are not followed.
bool addTree(ArchiveWriter &writer, const QString &root, const QString &relative, QString *error) {
  const QString folder = relative.isEmpty() ? root : root + QLatin1Char('/') + relative;
  DIR *listing = ::opendir(QFile::encodeName(folder).constData());
  if (!listing) {
    *error = QStringLiteral("cannot read folder (%1): %2").arg(systemError(), folder);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    const dirent *entry = ::readdir(listing);
    if (!entry) {
      if (errno != 0) {
        *error = QStringLiteral("cannot read folder (%1): %2").arg(systemError(), folder);
        ok = false;
      }
      break;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
      continue;
    const QString name = QFile::decodeName(entry->d_name);
    const QString itemName = relative.isEmpty() ? name : relative + QLatin1Char('/') + name;
    const QString path = folder + QLatin1Char('/') + name;
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status;
    if (::lstat(encoded.constData(), &status) != 0) {
      *error = QStringLiteral("cannot read file (%1): %2").arg(systemError(), path);
      ok = false;
      break;
    }
    if (S_ISDIR(status.st_mode)) {
      if (!(ok = addTree(writer, root, itemName, error)))
        break;
      continue;
    }
    if (S_ISLNK(status.st_mode) && ::stat(encoded.constData(), &status) == 0 &&
        S_ISDIR(status.st_mode))
      continue;
    // Broken links, pipes, sockets and devices: reading them fails or never ends.
    if (!S_ISREG(status.st_mode)) {
      *error = QStringLiteral("cannot read file (not a regular file): %1").arg(path);
      ok = false;
      break;
    }
    QFile file(path);
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
      data = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
      *error = QStringLiteral("cannot read file (%1): %2").arg(file.errorString(), path);
      ok = false;
      break;
    }
    writer.add(itemName, data, path);
  }
  ::closedir(listing);
  return ok;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: archive-builder INPUT_DIR OUTPUT_FILE\n");
    return 2;
  }
  // Item names are relative to the input folder however it was spelt.
  const QString inputDir =
      QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
  const QString outputFile = QString::fromLocal8Bit(argv[2]);
  if (!QFileInfo(inputDir).isDir())
    return fail(outputFile, QStringLiteral("input folder does not exist: %1").arg(inputDir));
  // The archive replaces the output by renaming over it, which must never
  // happen to a device or a folder.
  if (QFileInfo(outputFile).exists() && !QFileInfo(outputFile).isFile())
    return fail(outputFile, QStringLiteral("output is not a regular file: %1").arg(outputFile));

  ArchiveWriter writer;
  QString error;
  if (!addTree(writer, inputDir, QString(), &error))
    return fail(outputFile, error);

  QByteArray archive;
  if (!writer.build(&archive, &error))
    return fail(outputFile, error);

  QSaveFile out(outputFile);
  if (!out.open(QIODevice::WriteOnly) || out.write(archive) != archive.size() || !out.commit())
    return fail(outputFile,
                QStringLiteral("cannot write archive (%1): %2").arg(out.errorString(), outputFile));
  return 0;
}
