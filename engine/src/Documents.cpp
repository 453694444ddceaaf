#include "engine/src/Documents.h"

Documents &Documents::instance() {
  static Documents documents;
  return documents;
}

uint64_t Documents::attach(EnginePage *page) {
  detach(page);
  const uint64_t id = nextId++;
  pages.insert(id, page);
  documents.insert(page, id);
  return id;
}

void Documents::detach(EnginePage *page) {
  const auto it = documents.find(page);
  if (it == documents.end())
    return;
  pages.remove(it.value());
  documents.erase(it);
}

EnginePage *Documents::page(uint64_t document) const {
  return pages.value(document, nullptr);
}

uint64_t Documents::current(EnginePage *page) const {
  return documents.value(page, 0);
}

QList<QPair<EnginePage *, uint64_t>> Documents::all() const {
  QList<QPair<EnginePage *, uint64_t>> list;
  for (auto it = documents.begin(); it != documents.end(); ++it)
    list.append({it.key(), it.value()});
  return list;
}
