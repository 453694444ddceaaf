// The builder's output read back by the independent reader and by
// ArchiveReader.
#include <algorithm>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <lzf.h>

#include "engine/archive/ArchiveReader.h"
#include "tests/archive/ArchiveTestSupport.h"

using namespace ArchiveTest;

namespace {

QByteArray repeated(const char *text, int times) {
  QByteArray out;
  for (int i = 0; i < times; ++i)
    out += QByteArray(text) + QByteArray::number(i % 7);
  return out;
}

// Sources on disk (mixed case) and the names they must be stored under.
const std::map<QString, QByteArray> &tree() {
  static const std::map<QString, QByteArray> files = {
      {"common/img/about.svg", repeated("<svg><path d='M0 0'/></svg>", 40)},
      {"common/img/about_grey.svg", repeated("<svg><path d='M1 1'/></svg>", 40)},
      {"common/js/brandconfig.js", repeated("export const A = 1;\n", 30)},
      {"common/js/brandconfig.js.template", repeated("export const A = {A};\n", 30)},
      {"common/img/Logo.PNG", randomBytes(5000, 7)},
      {"common/css/toast.css", repeated(".toast { color: #fff; }\n", 50)},
      {"installer/Installer.HTML", repeated("<p>install</p>", 100)},
      {"installer/a", "xyz"},
      {"installer/.keep", ""},
      // Random bytes then zeros: LZF gets to about 77 % and 82 %.
      {"band/under.bin", randomBytes(1000, 3) + QByteArray(350, '\0')},
      {"band/over.bin", randomBytes(1000, 3) + QByteArray(275, '\0')},
  };
  return files;
}

class BuiltArchive : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir();
    writeTree(dir->path() + "/in", tree());
    const BuildResult r = runBuilder(dir->path() + "/in", dir->path() + "/out.sar");
    ASSERT_EQ(0, r.exitCode) << r.errorOutput.toStdString();
    archive = new QByteArray(readFile(dir->path() + "/out.sar"));
    parsed = new Parsed(parse(*archive));
  }
  static void TearDownTestSuite() {
    delete parsed;
    delete archive;
    delete dir;
  }
  static std::string stored(const QString &source) { return source.toLower().toStdString(); }

  static QTemporaryDir *dir;
  static QByteArray *archive;
  static Parsed *parsed;
};
QTemporaryDir *BuiltArchive::dir;
QByteArray *BuiltArchive::archive;
Parsed *BuiltArchive::parsed;

TEST_F(BuiltArchive, NamesAreLowerCasedAndNumberedInByteOrder) {
  ASSERT_TRUE(parsed->ok);
  std::vector<std::string> expected;
  for (const auto &entry : tree())
    expected.push_back(stored(entry.first));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, parsed->names);
  const auto svg = std::find(parsed->names.begin(), parsed->names.end(), "common/img/about.svg");
  ASSERT_NE(svg, parsed->names.end());
  EXPECT_EQ("common/img/about_grey.svg", *(svg + 1));
}

TEST_F(BuiltArchive, EveryLowLinkIsUnset) {
  for (const Node &n : parsed->nodes)
    EXPECT_EQ(-1, n.low);
}

TEST_F(BuiltArchive, DataFollowsTheRecordsBackToBackToTheEnd) {
  uint64_t next = parsed->dataStart;
  for (const Record &r : parsed->records) {
    EXPECT_EQ(next, r.offset);
    next = uint64_t(r.offset) + r.stored;
  }
  EXPECT_EQ(uint64_t(archive->size()), next);
}

TEST_F(BuiltArchive, CompressedExactlyWhenLzfReachesFourFifths) {
  int compressed = 0, raw = 0;
  for (size_t i = 0; i < parsed->names.size(); ++i) {
    const auto source = std::find_if(tree().begin(), tree().end(), [&](const auto &e) {
      return stored(e.first) == parsed->names[i];
    });
    ASSERT_NE(source, tree().end());
    const QByteArray &data = source->second;
    QByteArray packed(data.size() * 2 + 64, '\0');
    const unsigned n = data.isEmpty() ? 0
                                      : lzf_compress(data.constData(), unsigned(data.size()),
                                                     packed.data(), unsigned(packed.size()));
    const bool shouldCompress = n > 0 && uint64_t(n) * 5 <= uint64_t(data.size()) * 4;
    const Record &r = parsed->records[i];
    SCOPED_TRACE(parsed->names[i]);
    EXPECT_EQ(shouldCompress ? uint32_t(data.size()) : 0u, r.raw);
    if (!shouldCompress) {
      EXPECT_EQ(uint32_t(data.size()), r.stored);
    }
    EXPECT_EQ(data, content(*archive, r));
    (shouldCompress ? compressed : raw)++;
  }
  EXPECT_GT(compressed, 0);
  EXPECT_GE(raw, 3); // the random image, the three-byte file, the empty file
}

TEST_F(BuiltArchive, FourFifthsIsTheLineBetweenCompressedAndRaw) {
  const auto record = [](const std::string &name) {
    const auto at = std::find(parsed->names.begin(), parsed->names.end(), name);
    EXPECT_NE(at, parsed->names.end()) << name;
    return parsed->records[size_t(at - parsed->names.begin())];
  };
  const Record under = record("band/under.bin");
  EXPECT_EQ(1350u, under.raw);
  EXPECT_GT(under.stored * 4, under.raw * 3); // not far below the line
  const Record over = record("band/over.bin");
  EXPECT_EQ(0u, over.raw);
  EXPECT_EQ(1275u, over.stored);
}

TEST_F(BuiltArchive, PrefixNameEndsInANodeWhoseHighLinkLeadsToTheLongerName) {
  // Walk "common/js/brandconfig.js" down its equal links to its end node.
  const std::string name = "common/js/brandconfig.js";
  int node = 0;
  for (char c : name) {
    while (node >= 0 && parsed->nodes[size_t(node)].character != uint16_t(c))
      node = parsed->nodes[size_t(node)].high;
    ASSERT_GE(node, 0);
    node = parsed->nodes[size_t(node)].equal;
  }
  while (node >= 0 && parsed->nodes[size_t(node)].character != 0)
    node = parsed->nodes[size_t(node)].high;
  ASSERT_GE(node, 0);
  const Node &end = parsed->nodes[size_t(node)];
  ASSERT_GE(end.high, 0);
  std::string rest;
  int n = end.high;
  while (n >= 0 && parsed->nodes[size_t(n)].character != 0) {
    rest += char(parsed->nodes[size_t(n)].character);
    n = parsed->nodes[size_t(n)].equal;
  }
  EXPECT_EQ(".template", rest);
  ASSERT_GE(n, 0);
  EXPECT_EQ(name + ".template", parsed->names[size_t(parsed->nodes[size_t(n)].equal - 1)]);
}

TEST_F(BuiltArchive, ReaderFindsEveryItemWithItsContent) {
  ArchiveReader reader(reinterpret_cast<const uint8_t *>(archive->constData()),
                       size_t(archive->size()));
  EXPECT_TRUE(reader.isValid());
  for (const auto &[source, data] : tree()) {
    const uint8_t *bytes = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(reader.item(stored(source), &bytes, &size)) << source.toStdString();
    EXPECT_EQ(data, QByteArray(reinterpret_cast<const char *>(bytes), int(size)));
  }
  const uint8_t *bytes = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(reader.item("installer/Installer.HTML", &bytes, &size)); // stored lower-case only
  EXPECT_FALSE(reader.item("common/js/brandconfig", &bytes, &size));    // a prefix is no name
  EXPECT_FALSE(reader.item("common/js/brandconfig.js.", &bytes, &size));
  EXPECT_FALSE(reader.item("common/img/about.svgx", &bytes, &size));
  EXPECT_FALSE(reader.item("", &bytes, &size));
}

TEST(ArchiveBuilder, EmptyFolderGivesAnEmptyArchive) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir().mkpath(dir.path() + "/in"));
  ASSERT_EQ(0, runBuilder(dir.path() + "/in", dir.path() + "/out.sar").exitCode);
  const QByteArray a = readFile(dir.path() + "/out.sar");
  EXPECT_EQ(QByteArray("SAr\0\0\0\0\0\0\0\0\0", 12), a);
  ArchiveReader reader(reinterpret_cast<const uint8_t *>(a.constData()), size_t(a.size()));
  const uint8_t *bytes = nullptr;
  uint32_t size = 0;
  EXPECT_FALSE(reader.item("a", &bytes, &size));
}

// Names are relative to the input folder however it is spelt, and hidden
// files and links to files count; a link to a folder is not followed.
TEST(ArchiveBuilder, NamesAreRelativeToTheInputFolderHoweverItIsSpelt) {
  QTemporaryDir dir;
  writeTree(dir.path() + "/tree", {{"i.html", "<p>"}, {"sub/.hidden.js", "x"}});
  ASSERT_TRUE(QFile::link(dir.path() + "/tree/i.html", dir.path() + "/tree/sub/link.html"));
  ASSERT_TRUE(QFile::link(dir.path() + "/tree/sub", dir.path() + "/tree/folder-link"));
  for (const QString &input :
       QStringList{"tree", "./tree/", "tree/../tree", dir.path() + "/tree"}) {
    ASSERT_EQ(0, runBuilder(input, "out.sar", dir.path()).exitCode) << input.toStdString();
    const Parsed p = parse(readFile(dir.path() + "/out.sar"));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.names, (std::vector<std::string>{"i.html", "sub/.hidden.js", "sub/link.html"}))
        << input.toStdString();
  }
}

} // namespace
