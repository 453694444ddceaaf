// Plays PackageKit on the session bus of a private dbus-run-session: answers
// CreateTransaction, SetHints and RemovePackages, and records each call as
// "Member arg arg..." in the file given as its argument. Prints "ready" once
// it owns the name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

class FakeService : public QDBusVirtualObject {
public:
  explicit FakeService(QString record) : record_(std::move(record)) {}

  QString introspect(const QString &) const override { return QString(); }

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
    QStringList line{message.member()};
    for (const QVariant &argument : message.arguments())
      line.append(argument.canConvert<QStringList>() && argument.type() == QVariant::StringList
                      ? argument.toStringList().join(',')
                      : argument.toString());
    QFile file(record_);
    file.open(QIODevice::Append);
    file.write(line.join(' ').toUtf8() + '\n');
    file.close();
    if (message.member() == QLatin1String("CreateTransaction"))
      return connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath("/1"))));
    return connection.send(message.createReply());
  }

private:
  QString record_;
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  if (argc != 2)
    return 2;
  QDBusConnection bus = QDBusConnection::sessionBus();
  FakeService service{QString::fromLocal8Bit(argv[1])};
  if (!bus.registerVirtualObject("/", &service, QDBusConnection::SubPath) ||
      !bus.registerService("org.freedesktop.PackageKit"))
    return 1;
  std::puts("ready");
  std::fflush(stdout);
  return application.exec();
}
