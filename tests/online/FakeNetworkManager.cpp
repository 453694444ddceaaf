// Stands in for NetworkManager on a private bus: owns its name and answers
// the Connectivity property with the state given on the command line.
//
//   tw_fake_network_manager BUS_ADDRESS STATE
//
// Prints "ready" once the name is owned; runs until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {

class NetworkManager : public QDBusVirtualObject {
public:
  explicit NetworkManager(uint state) : state(state) {}

  QString introspect(const QString &) const override { return QString(); }

  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
    if (message.interface() != QLatin1String("org.freedesktop.DBus.Properties") ||
        message.member() != QLatin1String("Get") || message.arguments().size() != 2 ||
        message.arguments().at(1).toString() != QLatin1String("Connectivity"))
      return false;
    connection.send(message.createReply(QVariant::fromValue(QDBusVariant(state))));
    return true;
  }

private:
  const uint state;
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3)
    return 2;
  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), "fake");
  NetworkManager manager(QByteArray(argv[2]).toUInt());
  if (!bus.isConnected() ||
      !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/NetworkManager"), &manager) ||
      !bus.registerService(QStringLiteral("org.freedesktop.NetworkManager")))
    return 1;
  std::puts("ready");
  std::fflush(stdout);
  return app.exec();
}
