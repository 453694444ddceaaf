#include "cleanup/PackageRemoval.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QRegularExpression>

#include "platform/os/CommandRunner.h"

namespace {

constexpr int simulationTimeLimitMs = 60 * 1000;
constexpr int busTimeLimitMs = 10 * 1000;

const QString service = QStringLiteral("org.freedesktop.PackageKit");

// Removing any of these leaves the user without a desktop to log in to.
const QStringList &desktopPackages() {
  static const QStringList names = {QStringLiteral("task-desktop"),
                                    QStringLiteral("task-gnome-desktop"),
                                    QStringLiteral("task-kde-desktop"),
                                    QStringLiteral("task-xfce-desktop"),
                                    QStringLiteral("task-lxde-desktop"),
                                    QStringLiteral("task-lxqt-desktop"),
                                    QStringLiteral("task-cinnamon-desktop"),
                                    QStringLiteral("task-mate-desktop"),
                                    QStringLiteral("gnome-shell"),
                                    QStringLiteral("gnome-session"),
                                    QStringLiteral("gdm3"),
                                    QStringLiteral("plasma-desktop"),
                                    QStringLiteral("plasma-workspace"),
                                    QStringLiteral("sddm"),
                                    QStringLiteral("xfce4-session"),
                                    QStringLiteral("xfwm4"),
                                    QStringLiteral("lightdm"),
                                    QStringLiteral("lxsession"),
                                    QStringLiteral("lxqt-session"),
                                    QStringLiteral("cinnamon"),
                                    QStringLiteral("mate-session-manager"),
                                    QStringLiteral("xserver-xorg-core"),
                                    QStringLiteral("xwayland"),
                                    QStringLiteral("packagekit"),
                                    QStringLiteral("policykit-1"),
                                    QStringLiteral("polkitd"),
                                    QStringLiteral("dbus"),
                                    QStringLiteral("systemd")};
  return names;
}

QDBusConnection packageKitBus(const QString &address) {
  if (address.isEmpty())
    return QDBusConnection::systemBus();
  const QString name = QStringLiteral("tidewell-packagekit");
  QDBusConnection bus = QDBusConnection::connectToBus(address, name);
  if (bus.isConnected())
    return bus;
  // A connection lost earlier keeps its name: start over.
  QDBusConnection::disconnectFromBus(name);
  return QDBusConnection::connectToBus(address, name);
}

} // namespace

PackageRemoval::PackageRemoval(QString aptGet, QString busAddress)
    : aptGet_(std::move(aptGet)), busAddress_(std::move(busAddress)) {}

QStringList PackageRemoval::simulate(const QString &package) {
  refusal_.clear();
  const CommandResult result = CommandRunner::run(
      aptGet_, {QStringLiteral("-s"), QStringLiteral("remove"), QStringLiteral("--"), package},
      simulationTimeLimitMs);
  if (!result.succeeded()) {
    refusal_ = QStringLiteral("the simulated removal failed: ") + result.errorOutput.trimmed();
    return {};
  }
  QStringList removed;
  static const QRegularExpression removal(QStringLiteral("(?m)^Remv (\\S+)"));
  auto it = removal.globalMatch(result.output);
  while (it.hasNext())
    removed.append(it.next().captured(1).section(QLatin1Char(':'), 0, 0));
  if (result.output.contains(QLatin1String("essential packages will be removed"))) {
    refusal_ = QStringLiteral("it would remove essential packages");
    return {};
  }
  for (const QString &name : removed) {
    if (desktopPackages().contains(name)) {
      refusal_ = QStringLiteral("it would remove the desktop (%1)").arg(name);
      return {};
    }
  }
  if (removed.isEmpty())
    refusal_ = QStringLiteral("nothing to remove");
  return removed;
}

bool PackageRemoval::start(const QString &packageId) {
  QDBusConnection bus = packageKitBus(busAddress_);
  const QDBusReply<QDBusObjectPath> transaction = bus.call(
      QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/PackageKit"),
                                     service, QStringLiteral("CreateTransaction")),
      QDBus::Block, busTimeLimitMs);
  if (!transaction.isValid())
    return false;
  const QString path = transaction.value().path();
  const QString interface = service + QStringLiteral(".Transaction");
  QDBusMessage hints =
      QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("SetHints"));
  hints << QStringList{QStringLiteral("interactive=true")};
  bus.call(hints, QDBus::Block, busTimeLimitMs);
  // Flags none; dependants go too (the simulation showed which); no autoremove.
  QDBusMessage remove =
      QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("RemovePackages"));
  remove << QVariant::fromValue(quint64(0)) << QStringList{packageId} << true << false;
  return bus.call(remove, QDBus::Block, busTimeLimitMs).type() == QDBusMessage::ReplyMessage;
}
