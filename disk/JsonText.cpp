#include "disk/JsonText.h"

#include <QJsonDocument>

namespace JsonText {

QString indented(const QJsonObject &object) {
  return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

QString list(const QJsonArray &items) {
  return indented(QJsonObject{{QStringLiteral("list"), items}});
}

} // namespace JsonText
