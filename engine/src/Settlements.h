#pragma once
// Open ends of calls into documents: calls that want to know when they have
// run, and watches of a document's end. Each is settled exactly once, with
// the callback outside the lock: when the call has run, when its document
// goes, when it is unwatched, or when the engine shuts down.
#include "engine/include/tidewell/engine-api.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>

class Settlements {
public:
  static Settlements &instance();
  // UI thread: the engine starts and stops; documents start and go.
  void start();
  void shutdown();
  void documentStarted(uint64_t document);
  void documentGone(uint64_t document);

  // Any thread. A registration for a document that has gone, or while the
  // engine is not running, is settled before add returns, and 0 comes back.
  uint64_t add(uint64_t document, SciterSettled settled, void *tag);
  // Settles one open registration; false if it is settled already.
  bool settle(uint64_t id, UINT outcome);
  bool cancel(void *tag);

private:
  struct Registration {
    uint64_t document;
    SciterSettled settled;
    void *tag;
  };

  std::mutex lock;
  bool running = false;
  uint64_t nextId = 1;
  std::set<uint64_t> liveDocuments;
  std::map<uint64_t, Registration> open;
};
