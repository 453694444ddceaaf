#include "tests/archive/ArchiveTestSupport.h"

#include <cstring>
#include <functional>
#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>
#include <lzf.h>

namespace ArchiveTest {
namespace {

uint32_t le32(const QByteArray &a, uint32_t at) {
  const auto *p = reinterpret_cast<const uint8_t *>(a.constData()) + at;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t le16(const QByteArray &a, uint32_t at) {
  const auto *p = reinterpret_cast<const uint8_t *>(a.constData()) + at;
  return uint16_t(p[0] | p[1] << 8);
}

} // namespace

void writeTree(const QString &root, const std::map<QString, QByteArray> &files) {
  for (const auto &[name, data] : files) {
    const QString path = root + QLatin1Char('/') + name;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(data);
  }
}

BuildResult runBuilder(const QString &inputDir, const QString &outputFile,
                       const QString &workingFolder, const QStringList &wrapper) {
  QProcess p;
  p.setWorkingDirectory(workingFolder);
  const QStringList command = wrapper + QStringList{ARCHIVE_BUILDER, inputDir, outputFile};
  p.start(command.first(), command.mid(1));
  p.waitForFinished(60000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromLocal8Bit(p.readAllStandardError())};
}

QByteArray readFile(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray randomBytes(int n, uint32_t seed) {
  std::mt19937 gen(seed);
  QByteArray out(n, '\0');
  for (char &c : out)
    c = char(gen() & 0xFF);
  return out;
}

Parsed parse(const QByteArray &a) {
  Parsed p;
  const auto size = uint64_t(a.size());
  EXPECT_GE(size, 12u);
  if (size < 12)
    return p;
  EXPECT_EQ(0, std::memcmp(a.constData(), "SAr\0", 4));
  const uint32_t n = le32(a, 4);
  EXPECT_LE(8 + 8ull * n + 4, size);
  if (8 + 8ull * n + 4 > size)
    return p;
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t at = 8 + 8 * i;
    p.nodes.push_back({le16(a, at), int16_t(le16(a, at + 2)), int16_t(le16(a, at + 4)),
                       int16_t(le16(a, at + 6))});
  }
  const uint32_t m = le32(a, 8 + 8 * n);
  p.dataStart = 12 + 8 * n + 12 * m;
  EXPECT_LE(p.dataStart, size);
  if (p.dataStart > size)
    return p;
  for (uint32_t i = 0; i < m; ++i) {
    const uint32_t at = 12 + 8 * n + 12 * i;
    p.records.push_back({le32(a, at), le32(a, at + 4), le32(a, at + 8)});
  }
  p.names.assign(m, std::string());
  // Every node reached once: the tree's links must not share or loop.
  std::vector<bool> seen(n, false);
  bool treeOk = true;
  std::function<void(int, std::string)> walk = [&](int node, std::string prefix) {
    if (node < 0)
      return;
    if (uint32_t(node) >= n || seen[size_t(node)]) {
      treeOk = false;
      return;
    }
    seen[size_t(node)] = true;
    const Node &x = p.nodes[size_t(node)];
    walk(x.low, prefix);
    if (x.character == 0) {
      if (x.equal >= 1 && uint32_t(x.equal) <= m)
        p.names[size_t(x.equal - 1)] = prefix;
      else
        treeOk = false;
    } else {
      walk(x.equal, prefix + char(x.character));
    }
    walk(x.high, prefix);
  };
  if (n > 0)
    walk(0, std::string());
  EXPECT_TRUE(treeOk);
  p.ok = treeOk;
  return p;
}

QByteArray content(const QByteArray &archive, const Record &r) {
  const QByteArray stored = archive.mid(int(r.offset), int(r.stored));
  if (r.raw == 0)
    return stored;
  QByteArray out(int(r.raw), '\0');
  const unsigned got = lzf_decompress(stored.constData(), r.stored, out.data(), r.raw);
  return got == r.raw ? out : QByteArray();
}

} // namespace ArchiveTest
