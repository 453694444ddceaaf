#include "bridge/ScriptFunction.h"

#include "bridge/EngineValues.h"

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
