// Installed programs from registry fixtures imported with regtool, from a
// prepared tree of menu entries, dpkg data, icon themes, Flatpak, Snap and
// AppImages, and from this machine's own packages.
#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>
#include <utime.h>

#include "CleanupTestSupport.h"
#include "cleanup/InstalledPrograms.h"
#include "platform/registry/RegistryBatch.h"
#include "platform/registry/RegistryFactory.h"

namespace {

const char uninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// REG_EXPAND_SZ data as .reg writes it: hex(2): UTF-16LE bytes with the NUL.
QByteArray expandHex(const QString &text) {
  QByteArray bytes;
  for (const QChar c : text + QChar(0))
    bytes += char(c.unicode() & 0xff), bytes += char(c.unicode() >> 8);
  QStringList hex;
  for (const char b : bytes)
    hex.append(QString::asprintf("%02x", uchar(b)));
  return "hex(2):" + hex.join(',').toLatin1();
}

QByteArray quoted(const QString &text) {
  return '"' + QString(text).replace("\\", "\\\\").replace("\"", "\\\"").toUtf8() + '"';
}

// Every test starts from a registry without uninstall registrations.
void clearRegistrations() {
  auto registry = createUserRegistry();
  for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    for (const RegistryView view : {RegistryView::View64, RegistryView::View32})
      registry->deleteKeyTree(RegistryKey(root, uninstallKey, view));
  }
}

class RegistryFixture : public ::testing::Test {
protected:
  void SetUp() override { clearRegistrations(); }

  void import(const QByteArray &body) {
    const QString file =
        tree.write("fixture.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + body);
    QProcess regtool;
    regtool.start(TW_REGTOOL, {"import", file});
    ASSERT_TRUE(regtool.waitForFinished(30000));
    ASSERT_EQ(regtool.exitCode(), 0) << regtool.readAllStandardError().toStdString();
  }

  // No Linux sources: the registry alone.
  QJsonArray list() {
    ProgramRoots none;
    programs = std::make_unique<InstalledPrograms>(createUserRegistry(), none);
    text = programs->getInstalledPrograms();
    return programList(text);
  }

  TempTree tree;
  std::unique_ptr<InstalledPrograms> programs;
  QString text;
};

} // namespace

TEST_F(RegistryFixture, FiltersDuplicatesAndViewsAsTheSystemListDoes) {
  const QByteArray hklm =
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const QByteArray wow =
      "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const QByteArray hkcu =
      "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  import(
      hklm + "NoName]\r\n\"Publisher\"=\"Nobody\"\r\n\r\n" + hklm +
      "Component]\r\n\"DisplayName\"=\"Component\"\r\n\"SystemComponent\"=dword:00000001\r\n\r\n" +
      hklm + "Child]\r\n\"DisplayName\"=\"Child\"\r\n\"ParentKeyName\"=\"Parent\"\r\n\r\n" + hklm +
      "Fix]\r\n\"DisplayName\"=\"Fix\"\r\n\"ReleaseType\"=\"Security Update\"\r\n\r\n" + hklm +
      "Pack]\r\n\"DisplayName\"=\"Pack\"\r\n\"ReleaseType\"=\"Feature Pack\"\r\n\r\n" + hklm +
      "Both]\r\n\"DisplayName\"=\"both\"\r\n\"UninstallString\"=\"/opt/both/un\"\r\n"
      "\"Publisher\"=\"64-bit\"\r\n\"EstimatedSize\"=dword:00000400\r\n\r\n" +
      wow +
      "Both]\r\n\"DisplayName\"=\"both\"\r\n\"UninstallString\"=\"/opt/both/un\"\r\n"
      "\"Publisher\"=\"32-bit\"\r\n\r\n" +
      hkcu + "Same1]\r\n\"DisplayName\"=\"Same\"\r\n\"UninstallString\"=\"/opt/a/un\"\r\n\r\n" +
      hkcu +
      "Same2]\r\n\"DisplayName\"=\"Same\"\r\n\"UninstallString\"=\"/opt/b/un\"\r\n"
      "\"DisplayVersion\"=" +
      expandHex("v%TW_TEST_ROOT%") +
      "\r\n"
      "\"InstallDate\"=\"20240131\"\r\n"
      "\"Comments\"=\"" +
      QByteArray(1100, 'x') +
      "\"\r\n"
      "\"EstimatedSize\"=\"12x\"\r\n\r\n" +
      hkcu + "Long]\r\n\"DisplayName\"=\"Long\"\r\n\"Publisher\"=\"" + QByteArray(1024, 'p') +
      "\"\r\n\"UninstallString\"=\"/opt/long/un\"\r\n");
  const QJsonArray programs = list();
  QStringList names;
  for (const QJsonValue &value : programs)
    names.append(value.toObject().value("name").toString());
  // Sorted without regard to case; HKCU appears in both views but once.
  EXPECT_EQ(names, QStringList({"both", "Long", "Pack", "Same", "Same"}));
  const QJsonObject both = programNamed(programs, "both");
  EXPECT_EQ(both.value("publisher").toString(), "64-bit"); // the 64-bit view wins
  EXPECT_EQ(both.value("estimatedSize").toDouble(), 1024);
  EXPECT_FALSE(both.value("systemComponent").toBool(true));
  // A value of more than 2048 bytes reads as empty.
  EXPECT_EQ(programNamed(programs, "Long").value("publisher").toString(), "");
  for (const QJsonValue &value : programs) {
    const QJsonObject same = value.toObject();
    if (same.value("uninstallString").toString() != "/opt/b/un")
      continue;
    EXPECT_EQ(same.value("version").toString(), "v" + qEnvironmentVariable("TW_TEST_ROOT"));
    EXPECT_EQ(same.value("installDate").toString(), "20240131");
    EXPECT_EQ(same.value("estimatedSize").toDouble(), 0); // not a number
  }
  // Indented, members in ascending key order.
  EXPECT_TRUE(text.startsWith("{\n    \"list\": [\n        {\n            \"displayIcon\": \"\",\n"
                              "            \"estimatedSize\": 1024,\n"
                              "            \"installDate\": \"\",\n"
                              "            \"name\": \"both\",\n"))
      << text.toStdString();
}

TEST_F(RegistryFixture, IconsAreCleanedAndFallBackToTheInstallFolder) {
  const QString icon = tree.write("Quoted App/app icon.png", "png");
  tree.write("Install/b.exe", "x");
  tree.write("Install/a.exe", "x");
  tree.mkdir("Install/c.exe.d");
  const QByteArray hklm =
      "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  import(
      hklm +
      "Quoted]\r\n\"DisplayName\"=\"Quoted\"\r\n\"DisplayIcon\"=" + quoted(" \"" + icon + "\",0 ") +
      "\r\n\r\n" + hklm + "Missing]\r\n\"DisplayName\"=\"Missing\"\r\n\"DisplayIcon\"=" +
      quoted(tree.path("gone.png") + ",-101") +
      "\r\n\"InstallLocation\"=" + quoted(tree.path("Install") + "//") + "\r\n\r\n" + hklm +
      "Nothing]\r\n\"DisplayName\"=\"Nothing\"\r\n\"DisplayIcon\"=" + quoted(tree.root()) + "\r\n");
  const QJsonArray programs = list();
  EXPECT_EQ(programNamed(programs, "Quoted").value("displayIcon").toString(), icon);
  EXPECT_EQ(programNamed(programs, "Missing").value("displayIcon").toString(),
            tree.path("Install/a.exe"));
  // A folder is no icon.
  EXPECT_EQ(programNamed(programs, "Nothing").value("displayIcon").toString(), "");
}

namespace {

// A machine's menu, packages and icon themes in a temporary tree.
class LinuxFixture : public ::testing::Test {
protected:
  void SetUp() override {
    clearRegistrations();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    roots.applicationDirs =
        QStringList{tree.path("home/applications"), tree.path("usr/applications")};
    roots.userApplicationDir = tree.path("home/applications");
    roots.dpkgStatus = tree.path("dpkg/status");
    roots.dpkgInfo = tree.path("dpkg/info");
    roots.iconDirs = QStringList{tree.path("home/icons"), tree.path("usr/icons")};
    roots.pixmapDir = tree.path("usr/pixmaps");
    roots.iconTheme = "Fancy";
    roots.flatpakInstallations = QStringList{tree.path("home/flatpak"), tree.path("var/flatpak")};
    roots.snapDir = tree.path("snap");
    roots.snapApplicationDir = tree.path("var/snapd/applications");
    roots.aptGet = "/nonexistent/apt-get";
    roots.flatpak = tree.path("bin/flatpak");
    roots.snap = tree.path("bin/snap");
  }

  void entry(const QString &path, const QByteArray &body) {
    tree.write(path, "[Desktop Entry]\nType=Application\n" + body);
  }
  QString package(const QString &name, const QByteArray &fields, const QStringList &files,
                  const QDateTime &installed = QDateTime()) {
    QFile status(roots.dpkgStatus);
    QDir().mkpath(QFileInfo(roots.dpkgStatus).path());
    status.open(QIODevice::Append);
    status.write("Package: " + name.toUtf8() + "\n" + fields + "\n");
    QByteArray list = "/.\n/usr\n";
    for (const QString &file : files)
      list += tree.path(file).toUtf8() + "\n";
    const QString listFile = tree.write("dpkg/info/" + name + ".list", list);
    if (installed.isValid()) {
      struct utimbuf times {
        installed.toSecsSinceEpoch(), installed.toSecsSinceEpoch()
      };
      ::utime(listFile.toLocal8Bit().constData(), &times);
    }
    return listFile;
  }

  QJsonArray list() {
    programs =
        std::make_unique<InstalledPrograms>(std::shared_ptr<Registry>(createUserRegistry()), roots);
    return programList(programs->getInstalledPrograms());
  }

  bool uninstall(const QJsonObject &program) {
    return programs->uninstallProgram(program.value("uninstallString").toString());
  }

  TempTree tree;
  ProgramRoots roots;
  std::unique_ptr<InstalledPrograms> programs;
};

} // namespace

TEST_F(LinuxFixture, DebianPackagesWithMenuEntriesAreListedOnceWithThemeIcons) {
  entry("usr/applications/fooedit.desktop",
        "Name=Foo Editor\nName[zh_CN]=Foo 编辑器\nIcon=fooedit\n");
  entry("usr/applications/fooedit-viewer.desktop", "Name=Foo Viewer\nIcon=fooedit\n");
  entry("usr/applications/foo-helper.desktop", "Name=Foo Helper\nNoDisplay=true\n");
  entry("usr/applications/kde4/barview.desktop", "Name=Bar View\nIcon=barview.png\n");
  entry("usr/applications/hidden.desktop", "Name=Hidden\n");
  entry("home/applications/hidden.desktop", "Name=Hidden\nHidden=true\n");
  entry("usr/applications/orphan.desktop", "Name=Orphan\n");
  entry("usr/applications/gone.desktop", "Name=Gone\n");
  entry("usr/applications/pix.desktop", "Name=Pix\nIcon=pix\n");
  entry("usr/applications/abs.desktop", "Name=Abs\nIcon=" + tree.path("abs.svg").toUtf8() + "\n");
  tree.write("abs.svg", "<svg/>");
  tree.write("usr/icons/Fancy/48x48/apps/fooedit.png", "png");
  tree.write("usr/icons/hicolor/256x256/apps/fooedit.png", "png");
  tree.write("usr/icons/hicolor/32x32/apps/barview.png", "png");
  tree.write("usr/icons/hicolor/scalable/apps/barview.svg", "svg");
  tree.write("usr/icons/hicolor/16x16/apps/barview.png", "png");
  tree.write("usr/pixmaps/pix.png", "png");
  package("fooedit",
          "Status: install ok installed\nArchitecture: amd64\nVersion: 2.1-3\n"
          "Maintainer: Jane Doe <jane@example.org>\nInstalled-Size: 4321\nDescription: x\n y\n",
          {"usr/applications/fooedit-viewer.desktop", "usr/applications/fooedit.desktop",
           "usr/applications/foo-helper.desktop"},
          QDateTime(QDate(2023, 5, 17), QTime(12, 0)));
  package("barview", "Status: install ok installed\nArchitecture: all\nVersion: 1.0\n",
          {"usr/applications/kde4/barview.desktop"});
  package("hidden", "Status: install ok installed\nArchitecture: all\nVersion: 1\n",
          {"usr/applications/hidden.desktop"});
  package("gone", "Status: deinstall ok config-files\nArchitecture: all\nVersion: 1\n",
          {"usr/applications/gone.desktop"});
  package("pix", "Status: install ok installed\nArchitecture: all\nVersion: 1\n",
          {"usr/applications/pix.desktop", "usr/applications/abs.desktop"});
  entry("usr/applications/purge.desktop", "Name=Purge\n");
  package("--purge", "Status: install ok installed\nArchitecture: all\nVersion: 1\n",
          {"usr/applications/purge.desktop"});

  const QJsonArray programs = list();
  QStringList names;
  for (const QJsonValue &value : programs)
    names.append(value.toObject().value("name").toString());
  // The package's own entry names it; NoDisplay, Hidden (also by the user's
  // own entry), packages no longer installed, names that are no Debian
  // package's and files of no package are out.
  EXPECT_EQ(names, QStringList({"Bar View", "Foo Editor", "Pix"}));
  const QJsonObject foo = programNamed(programs, "Foo Editor");
  EXPECT_EQ(foo.value("version").toString(), "2.1-3");
  EXPECT_EQ(foo.value("publisher").toString(), "Jane Doe");
  EXPECT_EQ(foo.value("estimatedSize").toDouble(), 4321);
  EXPECT_EQ(foo.value("installDate").toString(), "20230517");
  EXPECT_EQ(foo.value("uninstallString").toString(), "pkcon remove fooedit");
  // The desktop's theme before a larger hicolor icon.
  EXPECT_EQ(foo.value("displayIcon").toString(),
            tree.path("usr/icons/Fancy/48x48/apps/fooedit.png"));
  // Scalable beats every fixed size.
  EXPECT_EQ(programNamed(programs, "Bar View").value("displayIcon").toString(),
            tree.path("usr/icons/hicolor/scalable/apps/barview.svg"));
  EXPECT_EQ(programNamed(programs, "Pix").value("displayIcon").toString(),
            tree.path("usr/pixmaps/pix.png"));

  // The owners kept between listings are asked again once a package comes
  // or goes, even for entries that had none.
  const auto listedAfter = [&](int year) {
    const time_t when = QDateTime(QDate(year, 1, 1), QTime(0, 0)).toSecsSinceEpoch();
    struct utimbuf times {
      when, when
    };
    ::utime(QFile::encodeName(roots.dpkgInfo).constData(), &times);
    QStringList listed;
    for (const QJsonValue &value : list())
      listed.append(value.toObject().value("name").toString());
    return listed;
  };
  EXPECT_EQ(listedAfter(2020), names);
  ASSERT_TRUE(QFile::exists(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                            "/Tidewell/package-owners"));
  package("orphan", "Status: install ok installed\nArchitecture: all\nVersion: 1\n",
          {"usr/applications/orphan.desktop"});
  QFile::remove(tree.path("dpkg/info/pix.list"));
  EXPECT_EQ(listedAfter(2021), QStringList({"Bar View", "Foo Editor", "Orphan"}));
}

// A registration of the folder a package installed is that package, listed
// once; a copy the program installed elsewhere is an installation of its own.
TEST_F(LinuxFixture, APackagesFolderRegisteredAgainIsListedOnceAsThePackage) {
  entry("usr/applications/org.tidewell.Tidewell.desktop", "Name=Tidewell\n");
  package("tidewell", "Status: install ok installed\nArchitecture: amd64\nVersion: 1.0.0\n",
          {"usr/applications/org.tidewell.Tidewell.desktop", "usr/lib/tidewell",
           "usr/lib/tidewell/Tidewell-app.exe"});
  RegistryBatch batch;
  const auto registration = [&](const QString &key, const QString &name, const QString &folder) {
    const RegistryKey at(RegistryRoot::LocalMachine, QString(uninstallKey) + "\\" + key,
                         RegistryView::View64);
    batch.setValue(at, "DisplayName", RegistryValue::fromString(name));
    batch.setValue(at, "InstallLocation", RegistryValue::fromString(folder));
    batch.setValue(at, "UninstallString", RegistryValue::fromString(folder + "/x-unstaller"));
  };
  registration("Tidewell", "潮井", tree.path("usr/lib/tidewell") + "/");
  registration("Copy", "潮井 copy", tree.path("home/Tidewell"));
  ASSERT_TRUE(createUserRegistry()->apply(batch));
  QStringList names;
  for (const QJsonValue &value : list())
    names.append(value.toObject().value("name").toString());
  EXPECT_EQ(names, QStringList({"Tidewell", "潮井 copy"}));
}

TEST_F(LinuxFixture, FlatpakSnapAndAppImagesAreListedWithTheirRemovals) {
  const QString flatpak = "var/flatpak";
  entry(flatpak + "/exports/share/applications/org.example.Paint.desktop",
        "Name=Paint\nIcon=org.example.Paint\nX-Flatpak=org.example.Paint\n");
  entry(flatpak + "/exports/share/applications/org.example.Paint.Viewer.desktop",
        "Name=Paint Viewer\nX-Flatpak=org.example.Paint\n");
  tree.write(flatpak + "/exports/share/icons/hicolor/128x128/apps/org.example.Paint.png", "png");
  tree.write(flatpak + "/app/org.example.Paint/current/active/files/share/metainfo/"
                       "org.example.Paint.metainfo.xml",
             "<component><developer_name>Example Team</developer_name><releases>"
             "<release version=\"3.4\" date=\"2024-01-01\"/><release version=\"3.3\"/>"
             "</releases></component>");
  tree.write(flatpak + "/app/org.example.Paint/current/active/files/bin/paint",
             QByteArray(4096, 'x'));
  entry("var/snapd/applications/notes_notes.desktop",
        "Name=Notes\nX-SnapInstanceName=notes\nIcon=" +
            tree.path("snap/notes/current/icon.png").toUtf8() + "\n");
  tree.write("snap/notes/current/meta/snap.yaml", "name: notes\nversion: '5.0'\n");
  tree.write("snap/notes/current/icon.png", "png");
  const QString image = tree.write("apps/Tool-1.2.AppImage", QByteArray(2048, 'a'));
  entry("home/applications/appimagekit-tool.desktop",
        "Name=Tool\nX-AppImage-Version=1.2\nExec=\"" + image.toUtf8() + "\" %U\n");
  entry("home/applications/appimagekit-tool-2.desktop", "Name=Tool\nExec=" + image.toUtf8() + "\n");
  // Ids that are not their packager's are no programs: "--all" would remove every app.
  entry(flatpak + "/exports/share/applications/all.desktop", "Name=All\nX-Flatpak=--all\n");
  tree.mkdir(flatpak + "/app/--all/current/active");
  entry("var/snapd/applications/purge.desktop", "Name=Purge\nX-SnapInstanceName=--purge\n");
  tree.mkdir("snap/--purge/current");

  const QJsonArray programs = list();
  ASSERT_EQ(programs.size(), 3);
  const QJsonObject paint = programNamed(programs, "Paint");
  EXPECT_EQ(paint.value("version").toString(), "3.4");
  EXPECT_EQ(paint.value("publisher").toString(), "Example Team");
  EXPECT_EQ(paint.value("estimatedSize").toDouble(), 4);
  EXPECT_EQ(paint.value("uninstallString").toString(),
            "flatpak uninstall --system -y org.example.Paint");
  EXPECT_EQ(paint.value("displayIcon").toString(),
            tree.path(flatpak + "/exports/share/icons/hicolor/128x128/apps/org.example.Paint.png"));
  const QJsonObject notes = programNamed(programs, "Notes");
  EXPECT_EQ(notes.value("version").toString(), "5.0");
  EXPECT_EQ(notes.value("uninstallString").toString(), "snap remove notes");
  EXPECT_EQ(notes.value("displayIcon").toString(), tree.path("snap/notes/current/icon.png"));
  const QJsonObject tool = programNamed(programs, "Tool");
  EXPECT_EQ(tool.value("version").toString(), "1.2");
  EXPECT_EQ(tool.value("estimatedSize").toDouble(), 2);

  // Each goes by its own tool, or for an AppImage by deleting it and its entries.
  tree.script("bin/flatpak", "echo \"$@\" > " + tree.path("flatpak.args").toUtf8() + "\n");
  tree.script("bin/snap", "echo \"$@\" > " + tree.path("snap.args").toUtf8() + "\n");
  EXPECT_TRUE(uninstall(paint));
  EXPECT_TRUE(uninstall(notes));
  EXPECT_TRUE(uninstall(tool));
  for (int i = 0;
       i < 100 && (tree.read("flatpak.args").isEmpty() || tree.read("snap.args").isEmpty()); ++i)
    QThread::msleep(50);
  EXPECT_EQ(tree.read("flatpak.args"), "uninstall --system -y -- org.example.Paint\n");
  EXPECT_EQ(tree.read("snap.args"), "remove -- notes\n");
  EXPECT_FALSE(QFileInfo::exists(image));
  EXPECT_FALSE(QFileInfo::exists(tree.path("home/applications/appimagekit-tool.desktop")));
  EXPECT_FALSE(QFileInfo::exists(tree.path("home/applications/appimagekit-tool-2.desktop")));
}

// The machine's own packages: every shown menu entry that dpkg says belongs
// to an installed package is listed, under that package's removal.
TEST(MachinePrograms, IncludeInstalledPackagesWithMenuEntries) {
  QSet<QString> expected;
  QDir applications("/usr/share/applications");
  for (const QString &file : applications.entryList({"*.desktop"}, QDir::Files)) {
    QFile entry(applications.filePath(file));
    entry.open(QIODevice::ReadOnly);
    const QByteArray text = entry.readAll();
    if (text.contains("\nNoDisplay=true") || text.contains("\nHidden=true") ||
        !text.contains("\nType=Application"))
      continue;
    QProcess search;
    search.start("dpkg-query", {"-S", applications.filePath(file)});
    search.waitForFinished();
    const QString owner = QString::fromUtf8(search.readAllStandardOutput()).section(':', 0, 0);
    if (search.exitCode() != 0 || owner.contains(','))
      continue;
    QProcess show;
    show.start("dpkg-query", {"-W", "-f=${db:Status-Status}", owner});
    show.waitForFinished();
    if (show.readAllStandardOutput() == "installed")
      expected.insert("pkcon remove " + owner);
  }
  if (expected.isEmpty())
    GTEST_SKIP() << "no installed package on this machine has a shown menu entry";
  InstalledPrograms programs;
  QSet<QString> listed;
  for (const QJsonValue &value : programList(programs.getInstalledPrograms()))
    listed.insert(value.toObject().value("uninstallString").toString());
  for (const QString &command : expected)
    EXPECT_TRUE(listed.contains(command)) << command.toStdString();
}
