#include "bridge/EngineValues.h"

#include "bridge/ScriptFunction.h"

QString EngineValues::toText(const VALUE &value) const {
  UINT type = T_UNDEFINED, units = 0;
  api.ValueType(&value, &type, &units);
  VALUE text;
  api.ValueInit(&text);
  api.ValueCopy(&text, &value);
  if (type != T_STRING || units != UT_STRING_STRING)
    api.ValueToString(&text, CVT_SIMPLE);
  LPCWSTR16 chars = nullptr;
  UINT length = 0;
  QString result;
  if (api.ValueStringData(&text, &chars, &length) == HV_OK && chars)
    result = QString::fromUtf16(chars, static_cast<int>(length));
  api.ValueClear(&text);
  return result;
}

int EngineValues::toInteger(const VALUE &value) const {
  INT result = 0;
  return api.ValueIntData(&value, &result) == HV_OK ? result : 0;
}

bool EngineValues::toBoolean(const VALUE &value) const {
  INT result = 0;
  return api.ValueIntData(&value, &result) == HV_OK && result != 0;
}

float EngineValues::toNumber(const VALUE &value) const {
  double result = 0.0;
  return api.ValueFloatData(&value, &result) == HV_OK ? static_cast<float>(result) : 0.0f;
}

std::shared_ptr<ScriptFunction> EngineValues::toFunction(const VALUE &value) const {
  return std::make_shared<ScriptFunction>(api, value);
}

ScriptCallback EngineValues::toCallback(const VALUE &value) const {
  std::shared_ptr<const ScriptFunction> function = toFunction(value);
  return [function](const CallbackEvent &event) { function->call(event); };
}

void EngineValues::copyInto(VALUE *slot, VALUE *temporary) const {
  if (slot)
    api.ValueCopy(slot, temporary);
  api.ValueClear(temporary);
}

void EngineValues::assign(VALUE *slot, bool result) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  api.ValueIntDataSet(&temporary, result ? 1 : 0, T_BOOL, 0);
  copyInto(slot, &temporary);
}

void EngineValues::assign(VALUE *slot, int result) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  api.ValueIntDataSet(&temporary, result, T_INT, 0);
  copyInto(slot, &temporary);
}

void EngineValues::assign(VALUE *slot, double result) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  api.ValueFloatDataSet(&temporary, result, T_FLOAT, 0);
  copyInto(slot, &temporary);
}

void EngineValues::assign(VALUE *slot, qint64 integer) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  api.ValueInt64DataSet(&temporary, integer, T_INT, 0);
  copyInto(slot, &temporary);
}

void EngineValues::assign(VALUE *slot, const QString &result) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  setText(&temporary, result, UT_STRING_STRING);
  copyInto(slot, &temporary);
}

void EngineValues::assignError(VALUE *slot, const char *message) const {
  VALUE temporary;
  api.ValueInit(&temporary);
  setText(&temporary, QString::fromLocal8Bit(message), UT_STRING_ERROR);
  copyInto(slot, &temporary);
}

void EngineValues::setText(VALUE *value, const QString &text, UINT units) const {
  api.ValueStringDataSet(value, reinterpret_cast<LPCWSTR16>(text.utf16()),
                         static_cast<UINT>(text.size()), units);
}

void EngineValues::makeEvent(VALUE *map, const CallbackEvent &event) const {
  api.ValueIntDataSet(map, 0, T_MAP, 0);
  for (const CallbackEvent::Field &field : event.fields()) {
    VALUE key, item;
    api.ValueInit(&key);
    api.ValueInit(&item);
    setText(&key, field.key, UT_STRING_SYMBOL);
    switch (field.kind) {
    case CallbackEvent::Kind::Symbol:
      setText(&item, field.text, UT_STRING_SYMBOL);
      break;
    case CallbackEvent::Kind::Text:
      setText(&item, field.text, UT_STRING_STRING);
      break;
    case CallbackEvent::Kind::Integer:
      api.ValueIntDataSet(&item, static_cast<INT>(field.number), T_INT, 0);
      break;
    case CallbackEvent::Kind::Bytes:
      api.ValueFloatDataSet(&item, static_cast<double>(field.number), T_FLOAT, 0);
      break;
    }
    api.ValueSetValueToKey(map, &key, &item);
    api.ValueClear(&key);
    api.ValueClear(&item);
  }
}
