#include "bridge/ScriptFunction.h"

#include "bridge/EngineValues.h"

class ScriptFunction::Watch {
public:
  Settled settled;
  std::shared_ptr<Watch> heldForEngine; // released when the engine settles it
};

namespace {
void settleCall(void *tag, UINT outcome) {
  std::unique_ptr<ScriptFunction::Settled> settled(static_cast<ScriptFunction::Settled *>(tag));
  (*settled)(outcome);
}

void settleWatch(void *tag, UINT outcome) {
  auto *watch = static_cast<ScriptFunction::Watch *>(tag);
  const std::shared_ptr<ScriptFunction::Watch> held = std::move(watch->heldForEngine);
  held->settled(outcome);
}
} // namespace

ScriptFunction::ScriptFunction(const ISciterAPI &api, const VALUE &value) : api(api) {
  api.ValueInit(&function);
  api.ValueCopy(&function, &value);
}

ScriptFunction::~ScriptFunction() {
  api.ValueClear(&function);
}

void ScriptFunction::call() const {
  invoke(0, nullptr);
}

void ScriptFunction::call(const CallbackEvent &event) const {
  VALUE map;
  api.ValueInit(&map);
  EngineValues(api).makeEvent(&map, event);
  invoke(1, &map);
  api.ValueClear(&map);
}

void ScriptFunction::invoke(UINT argc, const VALUE *argv) const {
  VALUE self, result;
  api.ValueInit(&self);
  api.ValueInit(&result);
  api.ValueInvoke(&function, &self, argc, argv, &result, nullptr);
  api.ValueClear(&result);
  api.ValueClear(&self);
}

void ScriptFunction::call(Settled settled) const {
  auto *tag = new Settled(std::move(settled));
  if (api.ValueInvokeSettled(&function, 0, nullptr, &settleCall, tag) != HV_OK)
    settleCall(tag, SETTLED_GONE);
}

std::shared_ptr<ScriptFunction::Watch> ScriptFunction::watch(Settled settled) const {
  auto watch = std::make_shared<Watch>();
  watch->settled = std::move(settled);
  watch->heldForEngine = watch;
  if (api.ValueFunctionWatch(&function, &settleWatch, watch.get()) != HV_OK)
    settleWatch(watch.get(), SETTLED_GONE);
  return watch;
}

void ScriptFunction::unwatch(const std::shared_ptr<Watch> &watch) const {
  if (watch)
    api.ValueFunctionUnwatch(watch.get());
}
