#pragma once
// Temporary trees and small readers for the cleanup tests.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/support/TempTree.h"

inline QJsonArray programList(const QString &json) {
  return QJsonDocument::fromJson(json.toUtf8()).object().value("list").toArray();
}

inline QJsonObject programNamed(const QJsonArray &list, const QString &name) {
  for (const QJsonValue &value : list) {
    if (value.toObject().value("name").toString() == name)
      return value.toObject();
  }
  return {};
}

inline int countNamed(const QJsonArray &list, const QString &name) {
  int count = 0;
  for (const QJsonValue &value : list)
    count += value.toObject().value("name").toString() == name;
  return count;
}
