#include "engine/src/EnvironmentModule.h"

#include "engine/src/Engine.h"

#include <QDir>
#include <QJsonObject>
#include <QStandardPaths>

namespace {
const QJsonValue undefinedWire = QJsonObject{{"u", 1}};
}

QString EnvironmentModule::platform() {
#if defined(Q_OS_WIN)
  return "Windows";
#elif defined(Q_OS_MACOS)
  return "OSX";
#else
  return "Linux";
#endif
}

QString EnvironmentModule::folder(const QString &name) {
  const QString key = name.toLower();
  // The application-data folder ends with "/", so pages append names to it.
  if (key == "appdata" || key == "user_appdata")
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/";
  static const QList<QPair<QString, QStandardPaths::StandardLocation>> locations{
      {"home", QStandardPaths::HomeLocation},
      {"desktop", QStandardPaths::DesktopLocation},
      {"documents", QStandardPaths::DocumentsLocation},
      {"downloads", QStandardPaths::DownloadLocation},
      {"temp", QStandardPaths::TempLocation},
      {"pictures", QStandardPaths::PicturesLocation},
      {"music", QStandardPaths::MusicLocation},
      {"videos", QStandardPaths::MoviesLocation},
      {"applications", QStandardPaths::ApplicationsLocation},
      {"config", QStandardPaths::GenericConfigLocation},
  };
  for (const auto &location : locations)
    if (location.first == key)
      return QStandardPaths::writableLocation(location.second);
  if (key == "root")
    return QDir::rootPath();
  return QString();
}

QJsonValue EnvironmentModule::call(const QString &op, const QJsonArray &args) {
  if (!Engine::instance().allows(ALLOW_SYSINFO))
    return undefinedWire;
  if (op == "platform")
    return platform();
  if (op == "path") {
    QString path = folder(args.at(0).toString());
    if (path.isEmpty())
      return undefinedWire;
    if (args.size() > 1 && args.at(1).isString() && !args.at(1).toString().isEmpty())
      path = QDir(path).filePath(args.at(1).toString());
    return path;
  }
  return undefinedWire;
}
