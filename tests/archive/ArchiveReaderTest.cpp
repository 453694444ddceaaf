// ArchiveReader on damaged and hostile archives: no item, no crash, no
// endless walk, no read outside the block.
#include <cstring>
#include <thread>

#include <QDir>
#include <QDirIterator>

#include <gtest/gtest.h>

#include "engine/archive/ArchiveFormat.h"
#include "engine/archive/ArchiveReader.h"
#include "engine/archive/ArchiveWriter.h"
#include "tests/archive/ArchiveTestSupport.h"

using namespace ArchiveTest;

namespace {

const QByteArray text = QByteArray("body { margin: 0; padding: 0; }\n").repeated(40);

QByteArray sample() {
  ArchiveWriter w;
  w.add("a", "x");
  w.add("ab", text);               // compressed
  w.add("b", randomBytes(300, 1)); // raw
  QByteArray out;
  QString error;
  EXPECT_TRUE(w.build(&out, &error)) << error.toStdString();
  return out;
}

struct Lookup {
  bool found;
  QByteArray data;
};

Lookup look(const QByteArray &archive, const std::string &name) {
  ArchiveReader reader(reinterpret_cast<const uint8_t *>(archive.constData()),
                       size_t(archive.size()));
  const uint8_t *data = nullptr;
  uint32_t size = 0;
  if (!reader.item(name, &data, &size))
    return {false, {}};
  return {true, QByteArray(reinterpret_cast<const char *>(data), int(size))};
}

void put16(QByteArray *a, uint32_t at, int16_t v) {
  (*a)[int(at)] = char(uint16_t(v) & 0xFF);
  (*a)[int(at + 1)] = char(uint16_t(v) >> 8);
}

void put32(QByteArray *a, uint32_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    (*a)[int(at) + i] = char((v >> (8 * i)) & 0xFF);
}

uint32_t nodeAt(uint32_t i) {
  return 8 + 8 * i;
}

TEST(ArchiveReader, FindsTheItemsOfAnIntactArchive) {
  const QByteArray a = sample();
  EXPECT_EQ(QByteArray("x"), look(a, "a").data);
  EXPECT_EQ(text, look(a, "ab").data);
  EXPECT_EQ(randomBytes(300, 1), look(a, "b").data);
  EXPECT_FALSE(look(a, "c").found);
  EXPECT_FALSE(look(a, std::string("a\0", 2)).found);
  EXPECT_FALSE(look(a, "\xff").found);
}

TEST(ArchiveReader, ComparesNamesAsUtf16Units) {
  // Hand-made: one item "\u00fc" (node 0 the character, node 1 its end).
  QByteArray a("SAr\0", 4);
  a += QByteArray(4, '\0') + QByteArray(16, '\0') + QByteArray(4, '\0') + QByteArray(12, '\0');
  put32(&a, 4, 2);
  const int16_t node0[] = {0xFC, -1, 1, -1}, node1[] = {0, -1, 1, -1};
  for (uint32_t f = 0; f < 4; ++f) {
    put16(&a, nodeAt(0) + 2 * f, node0[f]);
    put16(&a, nodeAt(1) + 2 * f, node1[f]);
  }
  put32(&a, 24, 1);
  put32(&a, 28, uint32_t(a.size()));
  put32(&a, 32, 2);
  a += "ok";
  EXPECT_EQ(QByteArray("ok"), look(a, "\xc3\xbc").data);
  EXPECT_FALSE(look(a, "\xfc").found);     // not UTF-8
  EXPECT_FALSE(look(a, "\xc1\xbc").found); // overlong form
  EXPECT_FALSE(look(a, "\xc3").found);     // cut short
}

TEST(ArchiveReader, TruncatedArchiveNeverGivesWrongBytes) {
  const QByteArray a = sample();
  const Parsed p = parse(a);
  for (int size = 0; size < a.size(); ++size) {
    const QByteArray cut = a.left(size);
    for (const char *name : {"a", "ab", "b"}) {
      const Lookup l = look(cut, name);
      const bool fits = size >= int(p.dataStart); // tables intact
      if (l.found) {
        EXPECT_TRUE(fits);
        EXPECT_EQ(look(a, name).data, l.data) << name << " at " << size;
      }
    }
  }
}

TEST(ArchiveReader, BadMagicOrHeaderGivesNoItem) {
  QByteArray a = sample();
  a[2] = 'R';
  EXPECT_FALSE(look(a, "a").found);
  a = sample();
  put32(&a, 4, 0xFFFFFFFF); // node count past the end
  EXPECT_FALSE(look(a, "a").found);
  a = sample();
  const Parsed p = parse(a);
  put32(&a, 8 + 8 * uint32_t(p.nodes.size()), 0x20000000); // item count past the end
  EXPECT_FALSE(look(a, "a").found);
  EXPECT_FALSE(look(QByteArray(), "a").found);
  ArchiveReader null(nullptr, 100);
  EXPECT_FALSE(null.isValid());
}

TEST(ArchiveReader, OffsetsAndSizesPastTheEndGiveNoItem) {
  const QByteArray a = sample();
  const Parsed p = parse(a);
  const uint32_t records = 12 + 8 * uint32_t(p.nodes.size());
  const uint32_t itemB = records + 12 * 2; // "b" is item 3
  for (uint32_t offset : {uint32_t(a.size()), 0xFFFFFFF0u, 0u}) {
    QByteArray bad = a;
    put32(&bad, itemB, offset);
    EXPECT_FALSE(look(bad, "b").found) << offset;
  }
  for (uint32_t stored : {p.records[2].stored + 1, 0xFFFFFFFFu}) {
    QByteArray bad = a;
    put32(&bad, itemB + 4, stored);
    EXPECT_FALSE(look(bad, "b").found) << stored;
  }
  EXPECT_TRUE(look(a, "a").found); // the others stay readable
}

TEST(ArchiveReader, CompressedItemThatDoesNotExpandToItsRawSizeGivesNoItem) {
  const QByteArray a = sample();
  const uint32_t itemAb = 12 + 8 * uint32_t(parse(a).nodes.size()) + 12;
  for (uint32_t raw : {uint32_t(text.size()) + 1, uint32_t(text.size()) - 1, 0xFFFFFFFFu}) {
    QByteArray bad = a;
    put32(&bad, itemAb + 8, raw);
    EXPECT_FALSE(look(bad, "ab").found) << raw;
  }
  QByteArray garbage = a;
  const Record r = parse(a).records[1];
  for (uint32_t i = 0; i < r.stored; ++i)
    garbage[int(r.offset + i)] = char(0xE0); // back references before the start
  EXPECT_FALSE(look(garbage, "ab").found);
}

TEST(ArchiveReader, ALargeItemClaimingAHugeExpansionGivesNoItemWithoutAllocatingIt) {
  // 50 MB stored may in principle expand 88 times, past 4 GiB: the claim of
  // 4 GiB - 1 must be refused before anything is allocated or filled.
  ArchiveWriter w;
  w.add("big", randomBytes(50 << 20, 7));
  QByteArray a;
  QString error;
  ASSERT_TRUE(w.build(&a, &error)) << error.toStdString();
  const uint32_t record = 12 + 8 * uint32_t(parse(a).nodes.size());
  for (uint32_t raw : {0xFFFFFFFFu, ArchiveFormat::maxExpandedSize + 1}) {
    QByteArray bad = a;
    put32(&bad, record + 8, raw);
    EXPECT_FALSE(look(bad, "big").found) << raw;
  }
  EXPECT_TRUE(look(a, "big").found);
}

TEST(ArchiveReader, ItemsAboveTheExpansionCapAreStoredRaw) {
  const QByteArray big = QByteArray("a").repeated(int(ArchiveFormat::maxExpandedSize) + 1);
  ArchiveWriter w;
  w.add("big", big);
  QByteArray a;
  QString error;
  ASSERT_TRUE(w.build(&a, &error)) << error.toStdString();
  EXPECT_EQ(parse(a).records[0].raw, 0u) << "stored uncompressed";
  const Lookup found = look(a, "big");
  ASSERT_TRUE(found.found);
  EXPECT_EQ(found.data, big);
}

TEST(ArchiveReader, NodeCyclesEndTheSearch) {
  const QByteArray a = sample();
  const Parsed p = parse(a);
  // Node 0 is 'a'; a larger first character follows its high link.
  QByteArray selfHigh = a;
  put16(&selfHigh, nodeAt(0) + 6, 0);
  EXPECT_FALSE(look(selfHigh, "z").found);
  QByteArray selfLow = a;
  put16(&selfLow, nodeAt(0) + 2, 0);
  EXPECT_FALSE(look(selfLow, "0").found);
  // The equal link of 'a' back to the root: "aaaa..." walks in a circle.
  QByteArray equalLoop = a;
  put16(&equalLoop, nodeAt(0) + 4, 0);
  EXPECT_FALSE(look(equalLoop, std::string(100000, 'a')).found);
  // Every link of every node bent elsewhere: a search may end at another
  // item, but only ever at one of the archive's items.
  const QByteArrayList contents = {look(a, "a").data, look(a, "ab").data, look(a, "b").data};
  for (size_t from = 0; from < p.nodes.size(); ++from)
    for (uint32_t field : {2u, 4u, 6u})
      for (int16_t to :
           {int16_t(0), int16_t(from), int16_t(p.nodes.size()), int16_t(-2), int16_t(32767)}) {
        QByteArray bad = a;
        put16(&bad, nodeAt(uint32_t(from)) + field, to);
        for (const char *name : {"a", "ab", "b", "abc", "zz"}) {
          const Lookup l = look(bad, name);
          if (l.found) {
            EXPECT_TRUE(contents.contains(l.data)) << name;
          }
        }
      }
}

TEST(ArchiveReader, ItemNumbersOutOfRangeGiveNoItem) {
  const QByteArray a = sample();
  const Parsed p = parse(a);
  // The end node of "a" is node 1 ('a', then 0).
  ASSERT_EQ(0, p.nodes[1].character);
  for (int16_t number : {int16_t(0), int16_t(-1), int16_t(4), int16_t(32767)}) {
    QByteArray bad = a;
    put16(&bad, nodeAt(1) + 4, number);
    EXPECT_FALSE(look(bad, "a").found) << number;
  }
}

TEST(ArchiveReader, ExpandsACompressedItemOnceForAllThreads) {
  const QByteArray a = sample();
  ArchiveReader reader(reinterpret_cast<const uint8_t *>(a.constData()), size_t(a.size()));
  const uint8_t *seen[4] = {};
  std::vector<std::thread> threads;
  for (auto &s : seen)
    threads.emplace_back([&reader, &s] {
      uint32_t size = 0;
      for (int i = 0; i < 200; ++i)
        reader.item("ab", &s, &size);
    });
  for (auto &t : threads)
    t.join();
  for (const uint8_t *s : seen)
    EXPECT_EQ(seen[0], s);
  EXPECT_EQ(text, QByteArray(reinterpret_cast<const char *>(seen[0]), text.size()));
}

// The inputs the fuzzer found interesting stay harmless.
TEST(ArchiveReader, FuzzCorpusGivesNoCrash) {
  int files = 0;
  for (QDirIterator it(QStringLiteral(FUZZ_CORPUS), QDir::Files); it.hasNext(); ++files) {
    const QByteArray input = readFile(it.next());
    for (const char *name : {"a", "ab", "b", "common/css/toast.css"})
      look(input, name);
  }
  EXPECT_GT(files, 0);
}

} // namespace
