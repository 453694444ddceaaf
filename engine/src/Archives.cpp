#include "engine/src/Archives.h"

#include "engine/archive/ArchiveReader.h"

#include <QStringList>

Archives &Archives::instance() {
  // Never destroyed: threads the host never stops may still call in while
  // the process exits.
  static Archives *archives = new Archives;
  return *archives;
}

HSARCHIVE Archives::open(const uint8_t *data, UINT size) {
  if (!data || size == 0)
    return nullptr;
  auto *reader = new ArchiveReader(data, size);
  std::lock_guard<std::mutex> guard(lock);
  readers.insert(reader);
  return reader;
}

bool Archives::close(HSARCHIVE handle) {
  auto *reader = static_cast<ArchiveReader *>(handle);
  std::lock_guard<std::mutex> guard(lock);
  if (!readers.erase(reader))
    return false;
  delete reader;
  return true;
}

bool Archives::item(HSARCHIVE handle, const QString &path, const uint8_t **data, UINT *size) {
  auto *reader = static_cast<ArchiveReader *>(handle);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!readers.count(reader))
      return false;
  }
  QString name = path;
  while (name.startsWith('/'))
    name.remove(0, 1);
  const int query = name.indexOf('?');
  QStringList candidates{name};
  if (query >= 0)
    candidates << name.left(query);
  for (const QString &base : QStringList(candidates)) {
    candidates << base.toLower();
    if (!base.section('/', -1).contains('.'))
      candidates << base + ".js" << base.toLower() + ".js";
  }
  candidates.removeDuplicates();
  for (const QString &candidate : candidates) {
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    if (reader->item(candidate.toStdString(), &bytes, &length) && length > 0) {
      *data = bytes;
      if (size)
        *size = length;
      return true;
    }
  }
  return false;
}
