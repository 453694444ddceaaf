#pragma once
// A script function kept by native code: a copy of the engine value, released
// when the last holder lets go. Calls are queued by the engine to its UI
// thread and never wait for the script, so they may be made from any thread.
#include <functional>
#include <memory>

#include "base/CallbackEvent.h"
#include "tidewell/engine-api.h"

class ScriptFunction {
public:
  // Learns how a call or a watch ended (SETTLED_RAN, SETTLED_GONE,
  // SETTLED_CANCELLED), exactly once; see ValueInvokeSettled.
  using Settled = std::function<void(UINT outcome)>;
  class Watch;

  ScriptFunction(const ISciterAPI &api, const VALUE &function);
  ~ScriptFunction();
  ScriptFunction(const ScriptFunction &) = delete;
  ScriptFunction &operator=(const ScriptFunction &) = delete;

  void call() const;
  void call(const CallbackEvent &event) const;
  // A call without arguments whose end is reported to settled.
  void call(Settled settled) const;
  // settled(SETTLED_GONE) when the function's document goes. Holding the
  // watch keeps it valid for unwatch, which ends it with SETTLED_CANCELLED
  // unless it has ended already.
  std::shared_ptr<Watch> watch(Settled settled) const;
  void unwatch(const std::shared_ptr<Watch> &watch) const;

private:
  void invoke(UINT argc, const VALUE *argv) const;

  const ISciterAPI &api;
  VALUE function;
};
