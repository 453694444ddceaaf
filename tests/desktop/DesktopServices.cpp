// desktop-services: what a desktop session offers our programs on the
// session bus, recording every call as one line on stdout:
//   org.kde.StatusNotifierWatcher  a tray host (StatusNotifierItem watcher)
//   org.freedesktop.FileManager1   a file manager
// Lines: "RegisterStatusNotifierItem SERVICE", "ShowItems URI...",
// "ShowFolders URI...". Prints "ready" once both names are owned.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>
#include <cstdio>

namespace {

void record(const QString &line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

class Watcher : public QDBusVirtualObject {
public:
  QString introspect(const QString &) const override {
    return QStringLiteral(
        "<interface name=\"org.kde.StatusNotifierWatcher\">"
        "<method name=\"RegisterStatusNotifierItem\"><arg name=\"service\" type=\"s\" "
        "direction=\"in\"/></method>"
        "<method name=\"RegisterStatusNotifierHost\"><arg name=\"service\" type=\"s\" "
        "direction=\"in\"/></method>"
        "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
        "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
        "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
        "</interface>");
  }

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override {
    const QString member = message.member();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
      const QString name = message.arguments().value(1).toString();
      QVariant value;
      if (name == QLatin1String("IsStatusNotifierHostRegistered"))
        value = true;
      else if (name == QLatin1String("ProtocolVersion"))
        value = 0;
      else if (name == QLatin1String("RegisteredStatusNotifierItems"))
        value = items;
      if (member == QLatin1String("Get")) {
        bus.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
      } else if (member == QLatin1String("GetAll")) {
        QVariantMap all{{"IsStatusNotifierHostRegistered", true},
                        {"ProtocolVersion", 0},
                        {"RegisteredStatusNotifierItems", items}};
        bus.send(message.createReply(all));
      } else {
        bus.send(message.createErrorReply(QDBusError::NotSupported, member));
      }
      return true;
    }
    if (member == QLatin1String("RegisterStatusNotifierItem")) {
      QString service = message.arguments().value(0).toString();
      if (service.startsWith('/'))
        service = message.service() + service;
      items << service;
      record(QStringLiteral("RegisterStatusNotifierItem ") + service);
      bus.send(message.createReply());
      return true;
    }
    if (member == QLatin1String("RegisterStatusNotifierHost")) {
      bus.send(message.createReply());
      return true;
    }
    return false;
  }

private:
  QStringList items;
};

class FileManager : public QDBusVirtualObject {
public:
  QString introspect(const QString &) const override {
    QString methods;
    for (const char *name : {"ShowFolders", "ShowItems", "ShowItemProperties"})
      methods += QStringLiteral("<method name=\"%1\"><arg name=\"URIs\" type=\"as\" "
                                "direction=\"in\"/><arg name=\"StartupId\" type=\"s\" "
                                "direction=\"in\"/></method>")
                     .arg(QLatin1String(name));
    return QStringLiteral("<interface name=\"org.freedesktop.FileManager1\">") + methods +
           QStringLiteral("</interface>");
  }

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override {
    const QString member = message.member();
    if (member != QLatin1String("ShowFolders") && member != QLatin1String("ShowItems") &&
        member != QLatin1String("ShowItemProperties"))
      return false;
    record(member + ' ' + message.arguments().value(0).toStringList().join(' '));
    bus.send(message.createReply());
    return true;
  }
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  Watcher watcher;
  FileManager fileManager;
  const bool withWatcher = !app.arguments().contains(QStringLiteral("--no-tray"));
  if (withWatcher &&
      (!bus.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &watcher) ||
       !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))))
    return 1;
  if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager) ||
      !bus.registerService(QStringLiteral("org.freedesktop.FileManager1")))
    return 1;
  record(QStringLiteral("ready"));
  return app.exec();
}
