#include "engine/src/Settlements.h"

#include <vector>

Settlements &Settlements::instance() {
  // Never destroyed: threads the host never stops may still call in while
  // the process exits.
  static Settlements *settlements = new Settlements;
  return *settlements;
}

void Settlements::start() {
  std::lock_guard<std::mutex> guard(lock);
  running = true;
}

void Settlements::shutdown() {
  std::map<uint64_t, Registration> ended;
  {
    std::lock_guard<std::mutex> guard(lock);
    running = false;
    liveDocuments.clear();
    ended.swap(open);
  }
  for (const auto &entry : ended)
    entry.second.settled(entry.second.tag, SETTLED_CANCELLED);
}

void Settlements::documentStarted(uint64_t document) {
  std::lock_guard<std::mutex> guard(lock);
  liveDocuments.insert(document);
}

void Settlements::documentGone(uint64_t document) {
  std::vector<Registration> ended;
  {
    std::lock_guard<std::mutex> guard(lock);
    liveDocuments.erase(document);
    for (auto it = open.begin(); it != open.end();) {
      if (it->second.document == document) {
        ended.push_back(it->second);
        it = open.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const Registration &registration : ended)
    registration.settled(registration.tag, SETTLED_GONE);
}

uint64_t Settlements::add(uint64_t document, SciterSettled settled, void *tag) {
  UINT outcome;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (running && liveDocuments.count(document)) {
      const uint64_t id = nextId++;
      open.emplace(id, Registration{document, settled, tag});
      return id;
    }
    outcome = running ? SETTLED_GONE : SETTLED_CANCELLED;
  }
  settled(tag, outcome);
  return 0;
}

bool Settlements::settle(uint64_t id, UINT outcome) {
  Registration registration;
  {
    std::lock_guard<std::mutex> guard(lock);
    const auto it = open.find(id);
    if (it == open.end())
      return false;
    registration = it->second;
    open.erase(it);
  }
  registration.settled(registration.tag, outcome);
  return true;
}

bool Settlements::cancel(void *tag) {
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto &entry : open)
      if (entry.second.tag == tag) {
        id = entry.first;
        break;
      }
  }
  return id && settle(id, SETTLED_CANCELLED);
}
