#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/utsname.h>

#include "platform/os/linux/LinuxSystemApi.h"
#include "system/SystemInfo.h"
#include "tests/system/LogLines.h"
#include "tests/system/TestFiles.h"

namespace {

// Fixed answers, for what this machine cannot be made to show.
class FakeSystemApi : public SystemApi {
public:
  int architecture = Amd64;
  QString program;

  int processorArchitecture() const override { return architecture; }
  bool verifyVersion(int, int, int) const override { return false; }
  bool hasDefaultRoute() const override { return false; }
  QString commandLine() const override { return QString(); }
  QString programFile() const override { return program; }
};

class FakeConnectivity : public Connectivity {
public:
  bool online = false;
  bool isOnline() const override { return online; }
};

TEST(SystemInfoTest, Is64BitOsFollowsTheMachineAndLogsItsCode) {
  struct utsname name;
  ASSERT_EQ(uname(&name), 0);
  if (std::string(name.machine) != "x86_64")
    GTEST_SKIP() << "not an x86_64 machine";
  LogLines log;
  EXPECT_TRUE(SystemInfo().is64BitOS());
  EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                LogLines::native("NativeUtil", "si.wProcessorArchitecture=9")}));
}

TEST(SystemInfoTest, Only64BitArchitecturesCount) {
  auto api = std::make_shared<FakeSystemApi>();
  SystemInfo info(api);
  for (const auto &[code, expected] : std::vector<std::pair<int, bool>>{
           {0, false}, {5, false}, {6, false}, {9, true}, {12, true}, {0xffff, false}}) {
    api->architecture = code;
    LogLines log;
    EXPECT_EQ(info.is64BitOS(), expected) << code;
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{LogLines::native(
                  "NativeUtil", "si.wProcessorArchitecture=" + std::to_string(code))}));
  }
}

TEST(SystemInfoTest, DefaultRouteComesFromTheRouteTable) {
  QTemporaryDir dir;
  const QByteArray header =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
  const auto withTable = [&](const QByteArray &rows) {
    const QString path = dir.filePath("route");
    EXPECT_TRUE(writeFile(path, header + rows));
    return SystemInfo(std::make_shared<LinuxSystemApi>(path)).isInternetAvailable();
  };
  EXPECT_TRUE(withTable("eth0\t0A00000A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
                        "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(withTable("eth0\t0A00000A\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"));
  EXPECT_FALSE(withTable("eth0\t00000000\t0100000A\t0002\t0\t0\t100\t00000000\t0\t0\t0\n"));
  EXPECT_FALSE(withTable(""));
  EXPECT_FALSE(
      SystemInfo(std::make_shared<LinuxSystemApi>(dir.filePath("none"))).isInternetAvailable());
}

TEST(SystemInfoTest, NetworkConnectedLogsItsResult) {
  auto connectivity = std::make_shared<FakeConnectivity>();
  for (const bool connected : {true, false}) {
    connectivity->online = connected;
    LogLines log;
    EXPECT_EQ(SystemInfo(std::make_shared<FakeSystemApi>(), connectivity).isNetworkConnected(),
              connected);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{LogLines::native(
                                  "Network", std::string("check network connection. connected: ") +
                                                 (connected ? "true" : "false"))}));
  }
}

TEST(SystemInfoTest, SecondsSinceEpoch) {
  const qint64 before = QDateTime::currentSecsSinceEpoch();
  const int now = SystemInfo().getSecondsSinceEpoch();
  EXPECT_GE(now, before);
  EXPECT_LE(now, QDateTime::currentSecsSinceEpoch());
}

TEST(SystemInfoTest, ProcessFolderHasNoTrailingSeparator) {
  EXPECT_EQ(SystemInfo().processFolder(), QStringLiteral(TW_TEST_BIN_DIR));
  auto api = std::make_shared<FakeSystemApi>();
  api->program = "/opt/Tide well/setup.exe";
  EXPECT_EQ(SystemInfo(api).processFolder(), "/opt/Tide well");
  api->program = "setup.exe";
  EXPECT_EQ(SystemInfo(api).processFolder(), "setup.exe");
  api->program = "";
  EXPECT_EQ(SystemInfo(api).processFolder(), "");
}

TEST(SystemInfoTest, CommandLineKeepsTheProgramAsStartedAndQuotesArguments) {
  QProcess probe;
  probe.start(QStringLiteral(TW_COMMAND_LINE_PROBE), {"plain", "a b", "", "x\"y", "潮井"});
  ASSERT_TRUE(probe.waitForFinished());
  EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()),
            QStringLiteral(TW_COMMAND_LINE_PROBE) + R"( plain "a b" "" "x\"y" 潮井)");
}

TEST(SystemInfoTest, FoldersFollowTheUsersEnvironment) {
  SystemInfo info;
  EXPECT_EQ(info.getTempPath(), QDir::cleanPath(QString::fromUtf8(qgetenv("TMPDIR"))));
  EXPECT_EQ(info.appDataPath(), QString::fromUtf8(qgetenv("XDG_DATA_HOME")));
  qputenv("PROGRAMFILES", "C:\\Program Files (x86)\\");
  EXPECT_EQ(info.programsPath(), "C:\\Program Files (x86)\\");
  qunsetenv("PROGRAMFILES");
  EXPECT_EQ(info.programsPath(), "");
}

TEST(SystemInfoTest, LanguageWithoutApplicationIsTheSystemsAndLogged) {
  LogLines log;
  const QString language = SystemInfo().language();
  EXPECT_FALSE(language.isEmpty());
  EXPECT_EQ(log.messages(), (std::vector<std::string>{LogLines::native(
                                "LANG", "detected lang: " + language.toStdString())}));
  EXPECT_EQ(SystemInfo().arguments(), "");
}

// The C and POSIX locales, in every spelling, give a tag the pages can use;
// the log line and the argument override stay as they are.
TEST(SystemInfoTest, LanguageUnderTheCLocaleIsEnUs) {
  const auto run = [](const QString &variable, const QString &value, const QStringList &args) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
      environment.remove(name);
    environment.insert(variable, value);
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(TW_LANGUAGE_PROBE), args);
    probe.waitForFinished();
    return QString::fromUtf8(probe.readAllStandardOutput());
  };
  for (const auto &[variable, value] : std::vector<std::pair<QString, QString>>{
           {"LANG", "C"}, {"LC_ALL", "C.UTF-8"}, {"LANG", "POSIX"}, {"LC_MESSAGES", "C"}}) {
    LogLines log;
    EXPECT_EQ(run(variable, value, {}), "en-US")
        << variable.toStdString() << "=" << value.toStdString();
    EXPECT_EQ(log.messages(),
              (std::vector<std::string>{LogLines::native("LANG", "detected lang: en-US")}));
  }
  LogLines log;
  EXPECT_EQ(run("LANG", "C", {"LANG=fr-FR"}), "fr-FR");
  EXPECT_EQ(log.messages(),
            (std::vector<std::string>{LogLines::native("LANG", "detected lang: en-US"),
                                      LogLines::native("LANG", "debug param lang: fr-FR")}));
  EXPECT_EQ(run("LANG", "de_DE.UTF-8", {}), "de-DE");
}

} // namespace
