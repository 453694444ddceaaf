#pragma once
// The live program documents, one per page at a time. A document id names
// one loaded document; when its page loads another, the old id dies and
// with it every kept function and pending call of that document.
// UI thread only.
#include <QHash>
#include <QList>
#include <QPair>

#include <cstdint>

class EnginePage;

class Documents {
public:
  static Documents &instance();
  uint64_t attach(EnginePage *page);
  void detach(EnginePage *page);
  EnginePage *page(uint64_t document) const;
  uint64_t current(EnginePage *page) const;
  QList<QPair<EnginePage *, uint64_t>> all() const;

private:
  uint64_t nextId = 1;
  QHash<uint64_t, EnginePage *> pages;
  QHash<EnginePage *, uint64_t> documents;
};
