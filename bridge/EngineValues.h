#pragma once
// Every conversion between engine values and native values: method
// arguments, method results, error values and callback event maps.
#include <QString>
#include <memory>

#include "base/CallbackEvent.h"
#include "tidewell/engine-api.h"

class ScriptFunction;

class EngineValues {
public:
  explicit EngineValues(const ISciterAPI &api) : api(api) {}

  // Arguments. A value of the wrong kind is converted, never refused.
  QString toText(const VALUE &value) const;
  int toInteger(const VALUE &value) const;
  bool toBoolean(const VALUE &value) const;
  float toNumber(const VALUE &value) const;
  std::shared_ptr<ScriptFunction> toFunction(const VALUE &value) const;
  ScriptCallback toCallback(const VALUE &value) const;

  // Results, built in a temporary and copied into the slot.
  void assign(VALUE *slot, bool result) const;
  void assign(VALUE *slot, int result) const;
  void assign(VALUE *slot, double result) const;
  void assign(VALUE *slot, const QString &result) const;
  void assign(VALUE *slot, qint64 integer) const;
  // An engine error value: the script sees an Error with this message.
  void assignError(VALUE *slot, const char *message) const;

  // A callback's event object: a map with symbol keys.
  void makeEvent(VALUE *map, const CallbackEvent &event) const;

  const ISciterAPI &engine() const { return api; }

private:
  void setText(VALUE *value, const QString &text, UINT units) const;
  void copyInto(VALUE *slot, VALUE *temporary) const;

  const ISciterAPI &api;
};
