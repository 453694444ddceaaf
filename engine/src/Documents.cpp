#include "engine/src/Documents.h"

#include "engine/src/Settlements.h"

Documents &Documents::instance() {
  static Documents documents;
  return documents;
}

uint64_t Documents::attach(EnginePage *page) {
  detach(page);
  const uint64_t id = nextId++;
  pages.insert(id, page);
  documents.insert(page, id);
  Settlements::instance().documentStarted(id);
  return id;
}

void Documents::detach(EnginePage *page) {
  const auto it = documents.find(page);
  if (it == documents.end())
    return;
  const uint64_t document = it.value();
  pages.remove(document);
  documents.erase(it);
  // Whatever waits for the document learns at once that it has gone.
  Settlements::instance().documentGone(document);
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
