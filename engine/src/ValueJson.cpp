#include "engine/src/ValueJson.h"

#include "engine/src/NumberText.h"
#include "engine/src/Value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
QString qstring(const std::u16string &s) {
  return QString::fromUtf16(s.data(), static_cast<int>(s.size()));
}

// Integral numbers in the 32-bit range are integers, all others floats.
void setNumber(double x, VALUE *out) {
  if (std::floor(x) == x && x >= -2147483648.0 && x <= 2147483647.0 && !(x == 0 && std::signbit(x)))
    Values::intDataSet(out, static_cast<INT>(x), T_INT, 0);
  else
    Values::floatDataSet(out, x, T_FLOAT, 0);
}

QJsonValue literalJson(const VALUE &v) {
  switch (v.t) {
  case T_BOOL:
    return v.d != 0;
  case T_INT:
    return static_cast<double>(Values::intOf(v));
  case T_FLOAT: {
    const double x = Values::floatOf(v);
    return std::isfinite(x) ? QJsonValue(x) : QJsonValue();
  }
  case T_STRING:
    return qstring(*Values::string(v));
  case T_ARRAY: {
    QJsonArray a;
    for (const auto &item : Values::array(v)->items)
      a.append(literalJson(item));
    return a;
  }
  case T_MAP: {
    QJsonObject o;
    for (const auto &entry : Values::map(v)->entries)
      o.insert(qstring(Values::text(entry.first)), literalJson(entry.second));
    return o;
  }
  default:
    return QJsonValue();
  }
}

void fromJson(const QJsonValue &j, VALUE *out) {
  switch (j.type()) {
  case QJsonValue::Bool:
    Values::intDataSet(out, j.toBool() ? 1 : 0, T_BOOL, 0);
    break;
  case QJsonValue::Double:
    setNumber(j.toDouble(), out);
    break;
  case QJsonValue::String:
    Values::setString(out, j.toString().toStdU16String());
    break;
  case QJsonValue::Array: {
    Values::intDataSet(out, 0, T_ARRAY, 0);
    const QJsonArray a = j.toArray();
    auto *body = Values::array(*out);
    body->items.resize(a.size());
    for (int i = 0; i < a.size(); ++i)
      fromJson(a.at(i), &body->items[i]);
    break;
  }
  case QJsonValue::Object: {
    Values::intDataSet(out, 0, T_MAP, 0);
    const QJsonObject o = j.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
      OwnedValue key, item;
      Values::setString(key.get(), it.key().toStdU16String());
      fromJson(it.value(), item.get());
      Values::setValueToKey(out, key.get(), item.get());
    }
    break;
  }
  default:
    Values::clear(out);
    out->t = T_NULL;
  }
}
} // namespace

QJsonValue ValueJson::toWire(const VALUE &v) {
  switch (v.t) {
  case T_NULL:
    return QJsonValue::Null;
  case T_BOOL:
    return v.d != 0;
  case T_INT:
    return static_cast<double>(Values::intOf(v));
  case T_FLOAT: {
    const double x = Values::floatOf(v);
    if (std::isfinite(x))
      return QJsonObject{{"f", x}};
    return QJsonObject{{"f", QString::fromStdString(numberText(x))}};
  }
  case T_STRING: {
    const QString s = qstring(*Values::string(v));
    if (v.u == UT_STRING_ERROR)
      return QJsonObject{{"e", s}};
    return s;
  }
  case T_ARRAY: {
    QJsonArray a;
    for (const auto &item : Values::array(v)->items)
      a.append(toWire(item));
    return QJsonObject{{"a", a}};
  }
  case T_MAP: {
    QJsonArray m;
    for (const auto &entry : Values::map(v)->entries)
      m.append(QJsonArray{qstring(Values::text(entry.first)), toWire(entry.second)});
    return QJsonObject{{"m", m}};
  }
  case T_FUNCTION: {
    const auto *f = Values::function(v);
    return QJsonObject{{"fn", static_cast<double>(f->handle)},
                       {"d", static_cast<double>(f->document)}};
  }
  default:
    return QJsonObject{{"u", 1}};
  }
}

void ValueJson::fromWire(const QJsonValue &wire, uint64_t document, VALUE *out) {
  switch (wire.type()) {
  case QJsonValue::Null:
    Values::clear(out);
    out->t = T_NULL;
    return;
  case QJsonValue::Bool:
  case QJsonValue::Double:
  case QJsonValue::String:
    fromJson(wire, out);
    return;
  case QJsonValue::Object:
    break;
  default:
    Values::clear(out);
    return;
  }
  const QJsonObject o = wire.toObject();
  if (o.contains("f")) {
    const QJsonValue f = o.value("f");
    double x = f.toDouble();
    if (f.isString()) {
      const QString name = f.toString();
      x = name == QLatin1String("NaN") ? NAN : name.startsWith('-') ? -INFINITY : INFINITY;
    }
    Values::floatDataSet(out, x, T_FLOAT, 0);
  } else if (o.contains("a")) {
    Values::intDataSet(out, 0, T_ARRAY, 0);
    const QJsonArray a = o.value("a").toArray();
    auto *body = Values::array(*out);
    body->items.resize(a.size());
    for (int i = 0; i < a.size(); ++i)
      fromWire(a.at(i), document, &body->items[i]);
  } else if (o.contains("m")) {
    Values::intDataSet(out, 0, T_MAP, 0);
    for (const QJsonValue &member : o.value("m").toArray()) {
      const QJsonArray pair = member.toArray();
      OwnedValue key, item;
      Values::setString(key.get(), pair.at(0).toString().toStdU16String());
      fromWire(pair.at(1), document, item.get());
      Values::setValueToKey(out, key.get(), item.get());
    }
  } else if (o.contains("fn")) {
    Values::setFunction(out, document, static_cast<int64_t>(o.value("fn").toDouble()));
  } else if (o.contains("e")) {
    Values::setString(out, o.value("e").toString().toStdU16String(), UT_STRING_ERROR);
  } else {
    Values::clear(out);
  }
}

QString ValueJson::toLiteral(const VALUE &v) {
  if (v.t == T_UNDEFINED)
    return QStringLiteral("undefined");
  if (v.t == T_FLOAT && !std::isfinite(Values::floatOf(v)))
    return QString::fromStdString(numberText(Values::floatOf(v)));
  if (v.t == T_INT)
    return QString::number(Values::intOf(v));
  if (v.t == T_FLOAT)
    return QString::fromStdString(numberText(Values::floatOf(v)));
  // Qt writes only documents, so wrap the value in an array and unwrap it.
  const QByteArray doc = QJsonDocument(QJsonArray{literalJson(v)}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(doc.mid(1, doc.size() - 2));
}

bool ValueJson::fromLiteral(const QString &text, VALUE *out) {
  const QString trimmed = text.trimmed();
  if (trimmed == QLatin1String("undefined")) {
    Values::clear(out);
    return true;
  }
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(("[" + trimmed + "]").toUtf8(), &error);
  if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
    return false;
  fromJson(doc.array().at(0), out);
  return true;
}
