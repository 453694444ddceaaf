#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QFile>
#include <QTemporaryDir>

#include "online/HttpClient.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/linux/LinuxConnectivity.h"
#include "system/SystemInfo.h"
#include "tests/online/OnlineTestSupport.h"

namespace {

const QByteArray header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
const QByteArray lanOnly = "eth0\t0000A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";
const QByteArray defaultRoute = "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";

class ConnectivityTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon did not start";
    connection = QDBusConnection::connectToBus(bus.address(), "connectivity-test");
    ASSERT_TRUE(connection.isConnected());
    withRoute = write("with-route", header + lanOnly + defaultRoute);
    withoutRoute = write("without-route", header + lanOnly);
  }
  void TearDown() override { QDBusConnection::disconnectFromBus("connectivity-test"); }

  QString write(const QString &name, const QByteArray &content) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
  }
  bool online(const QString &routeTable) {
    return LinuxConnectivity(connection, routeTable).isOnline();
  }

  QTemporaryDir dir;
  PrivateBus bus;
  QDBusConnection connection{QString()};
  QString withRoute, withoutRoute;
};

TEST_F(ConnectivityTest, WithoutNetworkManagerADefaultRouteDecides) {
  EXPECT_TRUE(online(withRoute));
  // A LAN address alone is not the internet.
  EXPECT_FALSE(online(withoutRoute));
  EXPECT_FALSE(online(dir.filePath("missing")));
}

TEST_F(ConnectivityTest, NetworkManagerDecidesWhereItKnows) {
  ASSERT_TRUE(bus.startNetworkManager(4));
  EXPECT_TRUE(online(withoutRoute)) << "full connectivity";
  for (const uint state : {1u, 2u, 3u}) { // none, portal, limited
    ASSERT_TRUE(bus.startNetworkManager(state));
    EXPECT_FALSE(online(withRoute)) << state;
  }
  ASSERT_TRUE(bus.startNetworkManager(0)); // unknown: the routes decide
  EXPECT_TRUE(online(withRoute));
  EXPECT_FALSE(online(withoutRoute));
}

// The page's connectivity query and the HTTP client ask the same source.
TEST_F(ConnectivityTest, ScriptQueryAndHttpClientAgree) {
  for (const uint state : {1u, 4u}) {
    ASSERT_TRUE(bus.startNetworkManager(state));
    auto source = std::make_shared<LinuxConnectivity>(connection, withRoute);
    const bool client = HttpClient(source).isInternetConnected();
    EXPECT_EQ(SystemInfo(OsPlatform::systemInfo(), source).isNetworkConnected(), client);
    EXPECT_EQ(client, state == 4);
  }
}

} // namespace
