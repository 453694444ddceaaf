// uninstallProgram starts only what the latest listing offered: our own
// registration's uninstaller as an argument list with no shell, Debian
// packages through PackageKit (a stand-in on the private bus this test runs
// on, under dbus-run-session) after apt-get's simulation.
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include "CleanupTestSupport.h"
#include "cleanup/InstalledPrograms.h"
#include "platform/registry/RegistryFactory.h"
#include "tests/system/LogLines.h"

namespace {

const QString uninstallKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell";

QString probeRecord() {
  return qEnvironmentVariable("TW_TEST_ROOT") + "/probe.txt";
}

QStringList waitForProbe() {
  for (int i = 0; i < 200 && !QFileInfo::exists(probeRecord()); ++i)
    QThread::msleep(25);
  QFile file(probeRecord());
  if (!file.open(QIODevice::ReadOnly))
    return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  lines.removeLast();
  return lines;
}

class Uninstall : public ::testing::Test {
protected:
  void SetUp() override {
    QFile::remove(probeRecord());
    registry = createUserRegistry();
    registry->deleteKeyTree(*RegistryKey::parse(uninstallKey));
    roots.dpkgStatus = tree.path("dpkg/status");
    roots.dpkgInfo = tree.path("dpkg/info");
    roots.applicationDirs = QStringList{tree.path("applications")};
    roots.aptGet = tree.path("bin/apt-get");
    // Orphans the uninstaller's forks to us, so its parent is always this
    // program or a fork of it.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  }

  void registerUninstaller(const QString &command, const QString &location = QString()) {
    const RegistryKey key = *RegistryKey::parse(uninstallKey);
    ASSERT_TRUE(registry->setValue(key, "DisplayName", RegistryValue::fromString("潮井")));
    ASSERT_TRUE(registry->setValue(key, "UninstallString", RegistryValue::fromString(command)));
    ASSERT_TRUE(registry->setValue(key, "InstallLocation", RegistryValue::fromString(location)));
  }

  // The probe as an installation's own uninstaller.
  QString installedProbe(const QString &relative) {
    const QString copy = tree.path(relative);
    QDir().mkpath(QFileInfo(copy).path());
    EXPECT_TRUE(QFile::copy(TW_UNINSTALL_PROBE, copy));
    return copy;
  }

  InstalledPrograms &listed(const QString &bus = QString()) {
    programs = std::make_unique<InstalledPrograms>(registry, roots, bus);
    programs->getInstalledPrograms();
    return *programs;
  }

  TempTree tree;
  std::shared_ptr<Registry> registry;
  ProgramRoots roots;
  std::unique_ptr<InstalledPrograms> programs;
};

} // namespace

TEST_F(Uninstall, RefusesWhatTheListingDidNotOffer) {
  const QString marker = tree.path("started");
  const QString command = tree.script("run.exe", "touch " + marker.toUtf8() + "\n");
  InstalledPrograms &list = listed();
  LogLines log;
  EXPECT_FALSE(list.uninstallProgram(command));
  EXPECT_FALSE(list.uninstallProgram("sh -c 'touch " + marker + "'"));
  EXPECT_FALSE(list.uninstallProgram("   "));
  EXPECT_EQ(log.messages(),
            std::vector<std::string>(
                {LogLines::native("NativeUtil", "uninstall command is not in the program list: " +
                                                    command.toStdString()),
                 LogLines::native("NativeUtil",
                                  "uninstall command is not in the program list: sh -c 'touch " +
                                      marker.toStdString() + "'"),
                 LogLines::native("NativeUtil", "uninstall command is empty")}));
  // Listed later, the same string is accepted only after a new listing.
  registerUninstaller(command, tree.root());
  EXPECT_FALSE(list.uninstallProgram(command));
  QThread::msleep(300);
  EXPECT_FALSE(QFileInfo::exists(marker));
  EXPECT_TRUE(listed().uninstallProgram(command));
}

TEST_F(Uninstall, StartsOurUninstallerWithItsArgumentsAndNoShell) {
  const QString marker = tree.path("pwned");
  const QString probe = installedProbe("Apps/Tidewell/Tidewell-unstaller.exe");
  const QString command =
      QString("\"%1\" /SILENT \"two words\" $(touch %2);touch %2").arg(probe, marker);
  registerUninstaller(command, tree.path("Apps/Tidewell"));
  LogLines log;
  ASSERT_TRUE(listed().uninstallProgram(command));
  EXPECT_EQ(log.messages(),
            std::vector<std::string>({LogLines::native(
                "NativeUtil", "uninstall program. exe=" + probe.toStdString() +
                                  " params=/SILENT \"two words\" $(touch " + marker.toStdString() +
                                  ");touch " + marker.toStdString())}));
  const QStringList record = waitForProbe();
  ASSERT_FALSE(record.isEmpty());
  EXPECT_EQ(record[0], QFileInfo("/proc/self/exe").symLinkTarget());
  EXPECT_EQ(record.mid(1),
            QStringList({"/SILENT", "two words", "$(touch", marker + ");touch", marker}));
  EXPECT_FALSE(QFileInfo::exists(marker));
}

TEST_F(Uninstall, AnUnquotedPathWithSpacesIsOneProgram) {
  const QString copy = installedProbe("Program Files/Tidewell-unstaller.exe");
  registerUninstaller(copy, tree.path("Program Files"));
  ASSERT_TRUE(listed().uninstallProgram(copy));
  const QStringList record = waitForProbe();
  EXPECT_EQ(record.size(), 1); // started, without arguments
}

// A page writes registrations: one naming a shell, the loader's folder, a
// link to a shell or a program outside its install location is listed but
// never started.
TEST_F(Uninstall, ARegistrationRunsOnlyAnUninstallerInsideItsInstallLocation) {
  const QString marker = tree.path("pwned");
  const QString script = "-c 'touch " + marker + "'";
  tree.mkdir("app");
  ASSERT_TRUE(QFile::link("/bin/sh", tree.path("app/uninstall")));
  installedProbe("elsewhere/unins000.exe");
  const QList<QPair<QString, QString>> hostile{
      {"/bin/sh " + script, "/bin"},
      {"/bin/sh " + script, "/"},
      {"sh " + script, tree.path("app")},
      {tree.path("app/uninstall") + " " + script, tree.path("app")},
      {tree.path("elsewhere/unins000.exe") + " " + script, tree.path("app")},
      {"/lib64/ld-linux-x86-64.so.2 /bin/sh " + script,
       QFileInfo("/lib64/ld-linux-x86-64.so.2").canonicalPath()}};
  for (const auto &[command, location] : hostile) {
    registerUninstaller(command, location);
    LogLines log;
    EXPECT_FALSE(listed().uninstallProgram(command)) << command.toStdString();
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_NE(log.messages()[0].find("uninstall command refused, "), std::string::npos)
        << log.messages()[0];
  }
  QThread::msleep(300);
  EXPECT_FALSE(QFileInfo::exists(marker));
  EXPECT_FALSE(QFileInfo::exists(probeRecord()));
}

TEST_F(Uninstall, DebianPackagesGoThroughPackageKitAfterTheSimulation) {
  if (qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").isEmpty())
    GTEST_SKIP() << "needs the private session bus of dbus-run-session";
  tree.write("applications/fooedit.desktop", "[Desktop Entry]\nType=Application\nName=Foo\n");
  tree.write("dpkg/status", "Package: fooedit\nStatus: install ok installed\nArchitecture: amd64\n"
                            "Version: 2.1-3\n\n");
  tree.write("dpkg/info/fooedit.list", tree.path("applications/fooedit.desktop").toUtf8() + "\n");
  QProcess fake;
  const QString calls = tree.path("packagekit.calls");
  fake.start(TW_FAKE_PACKAGEKIT, {calls});
  ASSERT_TRUE(fake.waitForReadyRead(10000));
  ASSERT_EQ(fake.readLine(), "ready\n");
  const QString bus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");

  // Essential packages or the desktop going too: refused before PackageKit hears of it.
  tree.script("bin/apt-get", "echo \"$@\" >> " + tree.path("apt.args").toUtf8() +
                                 "\necho 'WARNING: The following essential packages will be "
                                 "removed.'\necho 'Remv fooedit [2.1-3]'\necho 'Remv bash [5]'\n");
  EXPECT_FALSE(listed(bus).uninstallProgram("pkcon remove fooedit"));
  tree.script("bin/apt-get", "echo 'Remv fooedit [2.1-3]'\necho 'Remv gnome-shell [43]'\n");
  EXPECT_FALSE(listed(bus).uninstallProgram("pkcon remove fooedit"));
  tree.script("bin/apt-get", "echo 'E: Unable to locate package' >&2\nexit 100\n");
  EXPECT_FALSE(listed(bus).uninstallProgram("pkcon remove fooedit"));
  EXPECT_EQ(tree.read("packagekit.calls"), "");

  tree.script("bin/apt-get", "echo 'Remv fooedit [2.1-3]'\n");
  EXPECT_TRUE(listed(bus).uninstallProgram("pkcon remove fooedit"));
  EXPECT_EQ(tree.read("apt.args"), "-s remove -- fooedit\n");
  EXPECT_EQ(tree.read("packagekit.calls"),
            "CreateTransaction\nSetHints interactive=true\n"
            "RemovePackages 0 fooedit;2.1-3;amd64;installed true false\n");
  fake.kill();
  fake.waitForFinished();
}
