#pragma once
// The one argument of a native-to-script callback, built without any engine
// type so subsystems stay engine-free. The bridge turns it into an engine
// map: keys and symbol values as symbols, text as plain strings, integers as
// 32-bit integers, byte counts as floats.
#include <QString>
#include <QVector>
#include <functional>

class CallbackEvent {
public:
  enum class Kind { Symbol, Text, Integer, Bytes };
  struct Field {
    QString key;
    Kind kind;
    QString text;
    qint64 number = 0;
  };

  CallbackEvent &symbol(const QString &key, const QString &value) {
    fields_.append({key, Kind::Symbol, value, 0});
    return *this;
  }
  CallbackEvent &text(const QString &key, const QString &value) {
    fields_.append({key, Kind::Text, value, 0});
    return *this;
  }
  CallbackEvent &integer(const QString &key, int value) {
    fields_.append({key, Kind::Integer, QString(), value});
    return *this;
  }
  CallbackEvent &bytes(const QString &key, qint64 value) {
    fields_.append({key, Kind::Bytes, QString(), value});
    return *this;
  }
  const QVector<Field> &fields() const { return fields_; }

private:
  QVector<Field> fields_;
};

// A kept script function as subsystems see it: callable from any thread.
using ScriptCallback = std::function<void(const CallbackEvent &)>;
