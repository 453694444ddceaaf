#pragma once
// @env: env.path(name[, relative]) for the user's folders and the platform
// name. Without system information it answers nothing.
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

class EnvironmentModule {
public:
  static QJsonValue call(const QString &op, const QJsonArray &args);
  static QString platform();
  // The folder of a name such as "appdata", or empty for an unknown one.
  static QString folder(const QString &name);
};
