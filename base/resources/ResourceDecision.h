#pragma once
// What the main window answers when the engine asks for a URL: the bytes of
// an archive item, "discard" (the resource is unavailable) or "load" (the
// engine fetches the URL itself).
#include <cstdint>
#include <functional>

#include <QString>

namespace ResourceDecision {

enum class Action {
  Load,     // answer 0 without data
  Discard,  // answer 1
  HandOver, // hand data/size to the engine, then answer 0
};

struct Decision {
  Action action;
  const uint8_t *data = nullptr;
  uint32_t size = 0;

  // The number the engine's load-data notification returns.
  int answer() const { return action == Action::Discard ? 1 : 0; }
};

// Looks an item up by its archive path ("common/css/toast.css"); false or a
// zero size when the archive lacks it.
using ItemLookup =
    std::function<bool(const QString &itemPath, const uint8_t **data, uint32_t *size)>;

Decision decide(const QString &url, const ItemLookup &lookup);

} // namespace ResourceDecision
