#include "engine/archive/ArchiveWriter.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include <lzf.h>

#include "engine/archive/ArchiveFormat.h"

namespace {

struct Node {
  uint16_t character;
  int16_t low = -1;
  int16_t equal = -1;
  int16_t high = -1;
};

struct Item {
  std::string name;
  const QByteArray *data;
  QString source;
};

void append16(QByteArray *out, uint16_t v) {
  out->append(char(v & 0xFF));
  out->append(char(v >> 8));
}

void append32(QByteArray *out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8)
    out->append(char((v >> shift) & 0xFF));
}

// The ternary search tree over the names, nodes in creation order. Names
// arrive in ascending byte order, so every new branch hangs off a high link.
class Index {
public:
  // Returns false when the node limit would be passed.
  bool insert(const std::string &name, int16_t itemNumber) {
    const std::string key = name + '\0';
    if (nodes.empty())
      return appendChain(key, 0, itemNumber, nullptr);
    size_t node = 0;
    for (size_t pos = 0;;) {
      const auto c = uint16_t(static_cast<unsigned char>(key[pos]));
      Node &n = nodes[node];
      if (c == n.character) {
        ++pos; // never past the end: names are distinct
        node = size_t(n.equal);
        continue;
      }
      int16_t Node::*link = c < n.character ? &Node::low : &Node::high;
      if (n.*link < 0)
        return appendChain(key, pos, itemNumber, &(n.*link));
      node = size_t(n.*link);
    }
  }

  const std::vector<Node> &all() const { return nodes; }

private:
  // Appends one node per character from pos and the terminating node,
  // linking the first from *parentLink.
  bool appendChain(const std::string &key, size_t pos, int16_t itemNumber, int16_t *parentLink) {
    if (nodes.size() + (key.size() - pos) > ArchiveFormat::maxNodes)
      return false;
    const auto first = int16_t(nodes.size());
    if (parentLink)
      *parentLink = first; // before the vector may move
    for (; pos < key.size(); ++pos) {
      Node n;
      n.character = uint16_t(static_cast<unsigned char>(key[pos]));
      n.equal = n.character == 0 ? itemNumber : int16_t(nodes.size() + 1);
      nodes.push_back(n);
    }
    return true;
  }

  std::vector<Node> nodes;
};

// The LZF form when it is at most four fifths of the raw size.
bool compress(const QByteArray &raw, QByteArray *packed) {
  if (raw.isEmpty())
    return false;
  const auto rawSize = unsigned(raw.size());
  packed->resize(int(rawSize + rawSize / 16 + 64));
  const unsigned n =
      lzf_compress(raw.constData(), rawSize, packed->data(), unsigned(packed->size()));
  if (n == 0 || uint64_t(n) * 5 > uint64_t(rawSize) * 4)
    return false;
  packed->resize(int(n));
  return true;
}

QString describe(const Item &item) {
  return item.source.isEmpty() ? QString::fromStdString(item.name) : item.source;
}

} // namespace

void ArchiveWriter::add(const QString &name, const QByteArray &data, const QString &source) {
  entries.append({name, data, source});
}

bool ArchiveWriter::build(QByteArray *archive, QString *error) const {
  using namespace ArchiveFormat;
  std::vector<Item> items;
  items.reserve(size_t(entries.size()));
  for (const Entry &e : entries) {
    // Checked before lower-casing: some non-ASCII letters lower-case to ASCII.
    for (QChar c : e.name) {
      if (c.unicode() == 0 || c.unicode() > 0x7F) {
        *error = QStringLiteral("name cannot be stored in the archive (only ASCII, no NUL): %1")
                     .arg(e.source.isEmpty() ? e.name : e.source);
        return false;
      }
    }
    if (e.name.isEmpty()) {
      *error = QStringLiteral("empty item name: %1").arg(e.source);
      return false;
    }
    items.push_back({e.name.toLower().toStdString(), &e.data, e.source});
  }
  std::sort(items.begin(), items.end(),
            [](const Item &a, const Item &b) { return a.name < b.name; });

  if (items.size() > maxItems) {
    *error = QStringLiteral("too many items (%1, at most %2): %3")
                 .arg(items.size())
                 .arg(maxItems)
                 .arg(describe(items[maxItems]));
    return false;
  }
  Index index;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0 && items[i].name == items[i - 1].name) {
      *error = QStringLiteral("two items have the same name once lower-cased: %1 and %2")
                   .arg(describe(items[i - 1]), describe(items[i]));
      return false;
    }
    if (!index.insert(items[i].name, int16_t(i + 1))) {
      *error = QStringLiteral("too many index nodes (at most %1): %2")
                   .arg(maxNodes)
                   .arg(describe(items[i]));
      return false;
    }
  }

  std::vector<QByteArray> stored(items.size());
  std::vector<uint32_t> rawSizes(items.size(), 0);
  const std::vector<Node> &nodes = index.all();
  uint64_t offset = headerSize + uint64_t(nodeSize) * nodes.size() + itemCountSize +
                    uint64_t(itemRecordSize) * items.size();
  const uint64_t dataStart = offset;
  for (size_t i = 0; i < items.size(); ++i) {
    if (uint64_t(items[i].data->size()) <= ArchiveFormat::maxExpandedSize &&
        compress(*items[i].data, &stored[i]))
      rawSizes[i] = uint32_t(items[i].data->size());
    else
      stored[i] = *items[i].data;
    offset += uint64_t(stored[i].size());
    if (offset > std::numeric_limits<uint32_t>::max() ||
        offset > uint64_t(std::numeric_limits<int>::max())) {
      *error = QStringLiteral("archive too large (more than 2 GiB): %1").arg(describe(items[i]));
      return false;
    }
  }

  QByteArray out;
  out.reserve(int(offset));
  out.append(reinterpret_cast<const char *>(magic), sizeof magic);
  append32(&out, uint32_t(nodes.size()));
  for (const Node &n : nodes) {
    append16(&out, n.character);
    append16(&out, uint16_t(n.low));
    append16(&out, uint16_t(n.equal));
    append16(&out, uint16_t(n.high));
  }
  append32(&out, uint32_t(items.size()));
  uint64_t itemOffset = dataStart;
  for (size_t i = 0; i < items.size(); ++i) {
    append32(&out, uint32_t(itemOffset));
    append32(&out, uint32_t(stored[i].size()));
    append32(&out, rawSizes[i]);
    itemOffset += uint64_t(stored[i].size());
  }
  for (const QByteArray &data : stored)
    out.append(data);
  *archive = out;
  return true;
}
