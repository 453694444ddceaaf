#include "platform/os/linux/LinuxSystemApi.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QtNetwork/QNetworkConfigurationManager>

#include <optional>

#include <sys/utsname.h>

namespace {

constexpr int routeFlagUp = 0x1;
// NetworkManager's NMConnectivityState.
constexpr uint connectivityUnknown = 0;
constexpr uint connectivityFull = 4;

// NetworkManager's view when it runs and knows; nothing otherwise.
std::optional<bool> networkManagerConnectivity() {
  QDBusConnection bus = QDBusConnection::systemBus();
  const QString service = QStringLiteral("org.freedesktop.NetworkManager");
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(service))
    return std::nullopt;
  QDBusMessage get = QDBusMessage::createMethodCall(
      service, QStringLiteral("/org/freedesktop/NetworkManager"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << service << QStringLiteral("Connectivity");
  const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  bool ok = false;
  const uint state = reply.arguments().first().value<QDBusVariant>().variant().toUInt(&ok);
  if (!ok || state == connectivityUnknown)
    return std::nullopt;
  return state == connectivityFull;
}

bool qtOnlineState() {
  QT_WARNING_PUSH
  QT_WARNING_DISABLE_DEPRECATED
  return QNetworkConfigurationManager().isOnline();
  QT_WARNING_POP
}

// One argument of a command line, quoted so that the line splits back.
QString quotedArgument(const QString &argument) {
  if (!argument.isEmpty() && !argument.contains(QRegularExpression(QStringLiteral("[\\s\"]"))))
    return argument;
  QString escaped = argument;
  escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
  return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

LinuxSystemApi::LinuxSystemApi(QString routeTable) : routeTable_(std::move(routeTable)) {}

int LinuxSystemApi::processorArchitecture() const {
  struct utsname name;
  if (::uname(&name) != 0)
    return Unknown;
  const QByteArray machine(name.machine);
  if (machine == "x86_64")
    return Amd64;
  if (machine == "aarch64" || machine == "arm64")
    return Arm64;
  if (machine == "ia64")
    return Ia64;
  if (machine.startsWith("arm"))
    return Arm;
  if (QRegularExpression(QStringLiteral("^i[3-6]86$"))
          .match(QString::fromLatin1(machine))
          .hasMatch())
    return Intel;
  return Unknown;
}

bool LinuxSystemApi::verifyVersion(int, int, int) const {
  return false;
}

bool LinuxSystemApi::hasDefaultRoute() const {
  QFile table(routeTable_);
  if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
    return false;
  table.readLine(); // the header
  while (!table.atEnd()) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    const QList<QByteArray> fields = table.readLine().simplified().split(' ');
    if (fields.size() < 8)
      continue;
    bool flagsOk = false, destinationOk = false, maskOk = false;
    const uint flags = fields[3].toUInt(&flagsOk, 16);
    const uint destination = fields[1].toUInt(&destinationOk, 16);
    const uint mask = fields[7].toUInt(&maskOk, 16);
    if (flagsOk && destinationOk && maskOk && (flags & routeFlagUp) && destination == 0 &&
        mask == 0)
      return true;
  }
  return false;
}

bool LinuxSystemApi::isConnectedToInternet() const {
  const std::optional<bool> managed = networkManagerConnectivity();
  return managed ? *managed : qtOnlineState();
}

QString LinuxSystemApi::commandLine() const {
  QFile file(QStringLiteral("/proc/self/cmdline"));
  if (!file.open(QIODevice::ReadOnly))
    return QString();
  QByteArray content = file.readAll();
  if (content.endsWith('\0'))
    content.chop(1);
  QStringList arguments;
  for (const QByteArray &argument : content.split('\0'))
    arguments.append(quotedArgument(QString::fromLocal8Bit(argument)));
  return arguments.join(QLatin1Char(' '));
}

QString LinuxSystemApi::programFile() const {
  // A program replaced while it runs (an update) keeps its old path with
  // this mark, which is no file name to start.
  const QString deleted = QStringLiteral(" (deleted)");
  QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  if (path.endsWith(deleted))
    path.chop(deleted.size());
  return path;
}
