#include "bridge/GlobalEvents.h"

bool GlobalEvents::raise(const ISciterAPI &api, const QString &name) {
  BEHAVIOR_EVENT_PARAMS event{};
  event.cmd = CUSTOM;
  event.heTarget = nullptr;
  event.he = nullptr;
  event.reason = 0;
  api.ValueInit(&event.data);
  event.name = reinterpret_cast<LPCWSTR16>(name.utf16());
  BOOL32 handled = 0;
  api.SciterFireEvent(&event, 1, &handled);
  api.ValueClear(&event.data);
  return handled != 0;
}
