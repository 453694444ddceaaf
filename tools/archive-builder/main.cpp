// archive-builder INPUT_DIR OUTPUT_FILE
// Packs every file below INPUT_DIR into a "SAr" archive. On any failure it
// names the cause and the file and leaves no output file behind.
#include <cstdio>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "engine/archive/ArchiveWriter.h"

namespace {

int fail(const QString &outputFile, const QString &message) {
  // A stale archive from an earlier run must not pass for this one's.
  QFile::remove(outputFile);
  std::fprintf(stderr, "archive-builder: %s\n", qPrintable(message));
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: archive-builder INPUT_DIR OUTPUT_FILE\n");
    return 2;
  }
  const QString inputDir = QString::fromLocal8Bit(argv[1]);
  const QString outputFile = QString::fromLocal8Bit(argv[2]);
  const QDir root(inputDir);
  if (!root.exists())
    return fail(outputFile, QStringLiteral("input folder does not exist: %1").arg(inputDir));

  ArchiveWriter writer;
  QDirIterator it(inputDir, QDir::Files | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    // Broken links, pipes, sockets and devices: reading them fails or never ends.
    if (!it.fileInfo().isFile())
      return fail(outputFile,
                  QStringLiteral("cannot read file (not a regular file): %1").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
      return fail(outputFile,
                  QStringLiteral("cannot read file (%1): %2").arg(file.errorString(), path));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
      return fail(outputFile,
                  QStringLiteral("cannot read file (%1): %2").arg(file.errorString(), path));
    writer.add(root.relativeFilePath(path), data, path);
  }

  QByteArray archive;
  QString error;
  if (!writer.build(&archive, &error))
    return fail(outputFile, error);

  QSaveFile out(outputFile);
  if (!out.open(QIODevice::WriteOnly) || out.write(archive) != archive.size() || !out.commit())
    return fail(outputFile,
                QStringLiteral("cannot write archive (%1): %2").arg(out.errorString(), outputFile));
  return 0;
}
