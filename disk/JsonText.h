#pragma once
// Structured results travel to scripts as indented JSON text; QJsonObject keeps
// every object's keys in ascending order.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace JsonText {

QString indented(const QJsonObject &object);

// {"list": items}
QString list(const QJsonArray &items);

} // namespace JsonText
