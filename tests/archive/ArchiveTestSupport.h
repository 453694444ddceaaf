#pragma once
// Shared by the archive tests: folder trees on disk, the real builder as a
// process, and a reader of the format written from its description alone
// (independent of ArchiveReader).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ArchiveTest {

// Writes name -> content files below root (parents created).
void writeTree(const QString &root, const std::map<QString, QByteArray> &files);

struct BuildResult {
  int exitCode;
  QString errorOutput;
};
// Runs the builder from workingFolder (ours when empty), as the command that
// wrapper names (none when empty) would run it.
BuildResult runBuilder(const QString &inputDir, const QString &outputFile,
                       const QString &workingFolder = QString(), const QStringList &wrapper = {});

QByteArray readFile(const QString &path);

// n bytes that LZF cannot shrink.
QByteArray randomBytes(int n, uint32_t seed);

struct Node {
  uint16_t character;
  int16_t low, equal, high;
};
struct Record {
  uint32_t offset, stored, raw;
};

// The archive as its tables state it; fails a gtest assertion (and leaves
// ok false) when the tables do not fit the block.
struct Parsed {
  bool ok = false;
  std::vector<Node> nodes;
  std::vector<Record> records;
  uint32_t dataStart = 0;
  // Names spelled by walking the tree, by item number (index 0 = item 1).
  std::vector<std::string> names;
};
Parsed parse(const QByteArray &archive);

// The item's bytes, expanded when stored compressed.
QByteArray content(const QByteArray &archive, const Record &record);

} // namespace ArchiveTest
