#pragma once
// Values as JSON. The wire form carries every value kind across the script
// bridge: undefined {"u":1}, null, booleans, integers (JSON numbers),
// floats {"f":x} ("NaN"/"Infinity" as text), strings, error strings
// {"e":msg}, arrays {"a":[...]}, maps {"m":[[key,value],...]} in member order,
// and functions {"fn":handle,"d":document}. The literal form is plain JSON
// text for ValueToString/ValueFromString.
#include "engine/include/tidewell/engine-api.h"

#include <QJsonValue>
#include <QString>

class ValueJson {
public:
  static QJsonValue toWire(const VALUE &v);
  // Function handles in the wire value belong to that document.
  static void fromWire(const QJsonValue &wire, uint64_t document, VALUE *out);
  static QString toLiteral(const VALUE &v);
  static bool fromLiteral(const QString &text, VALUE *out);
};
