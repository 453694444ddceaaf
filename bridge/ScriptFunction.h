#pragma once
// A script function kept by native code: a copy of the engine value, released
// when the last holder lets go. Calls are queued by the engine to its UI
// thread and never wait for the script, so they may be made from any thread.
#include "host/CallbackEvent.h"
#include "tidewell/engine-api.h"

class ScriptFunction {
public:
  ScriptFunction(const ISciterAPI &api, const VALUE &function);
  ~ScriptFunction();
  ScriptFunction(const ScriptFunction &) = delete;
  ScriptFunction &operator=(const ScriptFunction &) = delete;

  void call() const;
  void call(const CallbackEvent &event) const;

private:
  void invoke(UINT argc, const VALUE *argv) const;

  const ISciterAPI &api;
  VALUE function;
};
