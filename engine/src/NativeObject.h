#pragma once
// A native object (asset) as scripts see it: its passport's methods and
// properties, called with wire values. Holds one reference to the asset.
#include "engine/include/tidewell/engine-api.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

class NativeObject {
public:
  NativeObject(som_asset_t *asset, som_passport_t *passport);
  ~NativeObject();
  NativeObject(const NativeObject &) = delete;
  NativeObject &operator=(const NativeObject &) = delete;

  QString name() const;
  // {"n": name, "ext": extendable, "m": [[method, params]...], "p": [[property, writable]...]}
  QJsonObject describe() const;
  // Results and failures as wire values; a failure is an error value.
  QJsonValue call(int method, const QJsonArray &args, uint64_t document) const;
  QJsonValue get(int property) const;
  QJsonValue set(int property, const QJsonValue &value, uint64_t document) const;
  // A method or property by name (Window.this.xcall).
  QJsonValue callByName(const QString &name, const QJsonArray &args, uint64_t document) const;

  static QJsonValue error(const QString &message);

private:
  som_asset_t *asset;
  som_passport_t *passport;
};
