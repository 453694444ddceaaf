#pragma once
// Named events posted to every page that subscribed with document.onGlobalEvent.
#include <QString>

#include "tidewell/engine-api.h"

namespace GlobalEvents {

inline const char *menuOutsideClick() {
  return "NATIVE_MENU_OUTSIDE_CLICK";
}
inline const char *exitApp() {
  return "NATIVE_EXIT_APP";
}

// Posts the event with undefined data and no target; returns the handled flag.
bool raise(const ISciterAPI &api, const QString &name);

} // namespace GlobalEvents
