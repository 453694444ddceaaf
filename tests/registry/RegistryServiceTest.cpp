// The script-facing registry methods over the user's store (HOME and the
// XDG folders point at a temporary folder), with their exact log lines.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "LogLines.h"
#include "platform/registry/RegistryFactory.h"
#include "platform/registry/SqliteRegistry.h"
#include "system/registry/RegistryService.h"

namespace {

constexpr int hkeyLocalMachine = -2147483646;
constexpr int hkeyCurrentUser = -2147483647;
const QString uninstall = QStringLiteral(
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell");

QString line(const QString &text) {
  return LogLines::nativeLine(QStringLiteral("NativeUtil"), text);
}

class RegistryServiceTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char *path : {"HKEY_CURRENT_USER\\Software", "HKEY_LOCAL_MACHINE\\Software"})
      store->deleteKeyTree(*RegistryKey::parse(path));
  }

  std::shared_ptr<Registry> store{createUserRegistry()};
  RegistryService service; // its own connection to the same store
  const RegistryKey app{RegistryRoot::CurrentUser, QStringLiteral("Software\\Tidewell")};
};

TEST_F(RegistryServiceTest, SetMethodsWriteStringsAndDWordsThatReadBack) {
  EXPECT_TRUE(service.setRegistryString(uninstall, "DisplayName", QStringLiteral("潮井")));
  EXPECT_TRUE(service.setRegistryIntValue(uninstall, "NoModify", 1));
  EXPECT_TRUE(service.setRegistryIntValue(uninstall, "Negative", -2));

  const RegistryKey key = *RegistryKey::parse(uninstall);
  EXPECT_EQ(store->value(key, "DisplayName"), RegistryValue::fromString(QStringLiteral("潮井")));
  EXPECT_EQ(store->value(key, "NoModify"), RegistryValue::fromDWord(1));
  EXPECT_EQ(store->value(key, "Negative"), RegistryValue::fromDWord(0xfffffffeu));

  LogLines log;
  const QString dir =
      QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell");
  EXPECT_EQ(service.getRegistryStringValue(hkeyLocalMachine, dir, "DisplayName"),
            QStringLiteral("潮井"));
  EXPECT_EQ(log.fresh(), QStringList{line("get registry string value. dir=" + dir +
                                          " key=DisplayName val=潮井")});
}

TEST_F(RegistryServiceTest, MissingKeysValuesAndRootsReadAsEmptyWithoutALogLine) {
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "Empty", ""));
  LogLines log;
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Nope", "x"), QString());
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "x"), QString());
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "Empty"),
            QString());
  EXPECT_EQ(service.getRegistryStringValue(0, "Software\\Tidewell", "Empty"), QString());
  EXPECT_EQ(service.getRegistryStringValue(0x80000004, "Software", "x"), QString());
  EXPECT_EQ(log.fresh(), QStringList());
}

TEST_F(RegistryServiceTest, ReadsGoThroughAOneKilobyteBuffer) {
  const QString fits(1023, 'a'); // with its NUL exactly 1024 bytes
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "fits", fits));
  ASSERT_TRUE(
      service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "long", fits + 'a'));
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "fits"), fits);
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "long"),
            QString());
}

TEST_F(RegistryServiceTest, OtherTypesReadAsTheirBytesUpToTheFirstNul) {
  ASSERT_TRUE(service.setRegistryIntValue("HKEY_CURRENT_USER\\Software\\Tidewell", "n", 0x4241));
  ASSERT_TRUE(store->setValue(app, "m", RegistryValue::fromMultiString({"first", "second"})));
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "n"), "AB");
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", "m"), "first");
}

TEST_F(RegistryServiceTest, SeparatorsInValueNamesMakeSubKeysAsQSettingsDoes) {
  EXPECT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "a/b", "slash"));
  EXPECT_TRUE(service.setRegistryIntValue("HKEY_CURRENT_USER\\Software\\Tidewell", "c\\d", 4));
  EXPECT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "//e///f/", "x"));
  EXPECT_EQ(store->value(app.subKey("a"), "b")->toString(), QStringLiteral("slash"));
  EXPECT_EQ(store->value(app.subKey("c"), "d")->toDWord(), 4u);
  EXPECT_EQ(store->value(app.subKey("e"), "f")->toString(), QStringLiteral("x"));
  EXPECT_FALSE(store->value(app, "a/b"));
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell\\a", "b"), "slash");
}

TEST_F(RegistryServiceTest, NamesAndRootsMatchWithoutCase) {
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "Name", "first"));
  ASSERT_TRUE(service.setRegistryString("hkey_current_user\\SOFTWARE\\tidewell", "NAME", "second"));
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "software\\TIDEWELL", "name"),
            "second");
  EXPECT_EQ(store->subKeyNames(RegistryKey(RegistryRoot::CurrentUser, "Software")),
            QStringList{"Tidewell"});
  EXPECT_EQ(store->valueName(app, 0), QStringLiteral("Name"));

  // The forms QSettings also takes: short root names and a leading backslash.
  ASSERT_TRUE(service.setRegistryString("HKCU\\Software\\Tidewell", "Short", "s"));
  ASSERT_TRUE(service.setRegistryString("\\HKEY_CURRENT_USER\\Software\\Tidewell", "Lead", "l"));
  EXPECT_EQ(store->value(app, "Short")->toString(), QStringLiteral("s"));
  EXPECT_EQ(store->value(app, "Lead")->toString(), QStringLiteral("l"));
}

TEST_F(RegistryServiceTest, DefaultAndDotNameTheDefaultValue) {
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", "Default", "d"));
  EXPECT_EQ(store->value(app, "")->toString(), QStringLiteral("d"));
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Tidewell", ".", "dot"));
  EXPECT_EQ(service.getRegistryStringValue(hkeyCurrentUser, "Software\\Tidewell", ""), "dot");
  EXPECT_FALSE(store->value(app, "Default"));
}

TEST_F(RegistryServiceTest, WritesOutsideTheRootTableStoreNothingAndReportFalse) {
  EXPECT_FALSE(service.setRegistryString("HKEY_PERFORMANCE_DATA\\x", "n", "v"));
  EXPECT_FALSE(service.setRegistryString("Software\\x", "n", "v"));
  EXPECT_FALSE(service.setRegistryIntValue("NOWHERE\\Software", "n", 1));
  EXPECT_FALSE(service.setRegistryIntValue("HKEY_CURRENT_USER\\Software\\Tidewell", "", 1));
  EXPECT_TRUE(service.removeRegistry("NOWHERE\\x", "n"));
  EXPECT_FALSE(store->keyExists(app));
}

TEST(RegistryServiceStore, WritesAStoreCannotKeepReportFalse) {
  // A plain file where the store's folder belongs: nothing can be written.
  QTemporaryDir dir;
  QFile blocker(dir.filePath("blocked"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  RegistryService service(std::make_shared<SqliteRegistry>(dir.filePath("blocked/registry.db")));
  EXPECT_FALSE(service.setRegistryString(uninstall, "DisplayName", "x"));
  EXPECT_FALSE(service.setRegistryIntValue(uninstall, "NoModify", 1));
}

TEST_F(RegistryServiceTest, RemoveRegistryDeletesTheValueAndTheSubKeyOfThatName) {
  const QString path = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tidewell");
  ASSERT_TRUE(service.setRegistryString(path, "item", "value"));
  ASSERT_TRUE(service.setRegistryString(path, "item/inner/deep", "nested"));
  ASSERT_TRUE(service.setRegistryString(path, "other", "kept"));

  EXPECT_TRUE(service.removeRegistry(path, "ITEM"));
  EXPECT_FALSE(store->value(app, "item"));
  EXPECT_FALSE(store->keyExists(app.subKey("item")));
  EXPECT_TRUE(store->value(app, "other"));
  EXPECT_TRUE(service.removeRegistry(path, "never-there"));

  // An empty name removes the whole key, but never a whole root.
  EXPECT_TRUE(service.removeRegistry(path, ""));
  EXPECT_FALSE(store->keyExists(app));
  ASSERT_TRUE(service.setRegistryString(path, "x", "y"));
  EXPECT_FALSE(service.removeRegistry("HKEY_CURRENT_USER", ""));
  EXPECT_FALSE(service.removeRegistry("HKEY_CURRENT_USER\\", "/"));
  EXPECT_TRUE(store->value(app, "x"));
}

TEST_F(RegistryServiceTest, RemoveRegistryKeyAcceptsSlashesAndAnyCase) {
  ASSERT_TRUE(service.setRegistryString("HKEY_CURRENT_USER\\Software\\Name\\Sub", "v", "1"));
  LogLines log;
  EXPECT_TRUE(service.removeRegistryKey("hkey_current_user/Software/Name"));
  EXPECT_FALSE(store->keyExists(RegistryKey(RegistryRoot::CurrentUser, "Software\\Name")));
  EXPECT_TRUE(store->keyExists(RegistryKey(RegistryRoot::CurrentUser, "Software")));
  EXPECT_FALSE(service.removeRegistryKey("HKEY_CURRENT_USER\\Software\\Name"));
  EXPECT_EQ(
      log.fresh(),
      QStringList({line("remove registry key hkey_current_user\\Software\\Name result: true"),
                   line("remove registry key HKEY_CURRENT_USER\\Software\\Name result: false")}));
}

TEST_F(RegistryServiceTest, RemoveRegistryKeyRefusesShortRootsAndBareRoots) {
  ASSERT_TRUE(service.setRegistryString("HKEY_LOCAL_MACHINE\\Software\\Name", "v", "1"));
  LogLines log;
  EXPECT_FALSE(service.removeRegistryKey("HKLM\\Software\\Name"));
  EXPECT_FALSE(service.removeRegistryKey("HKEY_PERFORMANCE_DATA/x"));
  EXPECT_FALSE(service.removeRegistryKey("HKEY_LOCAL_MACHINE"));
  EXPECT_FALSE(service.removeRegistryKey("HKEY_LOCAL_MACHINE\\"));
  EXPECT_FALSE(service.removeRegistryKey("HKEY_LOCAL_MACHINE//"));
  EXPECT_TRUE(store->keyExists(*RegistryKey::parse("HKEY_LOCAL_MACHINE\\Software\\Name")));
  EXPECT_EQ(log.fresh(),
            QStringList({line("unsupported registry root: HKLM\\Software\\Name"),
                         line("unsupported registry root: HKEY_PERFORMANCE_DATA\\x"),
                         line("unsupported registry root: HKEY_LOCAL_MACHINE"),
                         line("remove registry key HKEY_LOCAL_MACHINE\\ result: false"),
                         line("remove registry key HKEY_LOCAL_MACHINE\\\\ result: false")}));
}

TEST_F(RegistryServiceTest, TheUninstallEntryWrittenIsTheOneRemoved) {
  ASSERT_TRUE(
      service.setRegistryString(uninstall, "UninstallString", "/opt/Tidewell-unstaller.exe"));
  ASSERT_TRUE(service.setRegistryIntValue(uninstall, "EstimatedSize", 2048));
  // A second process (another program run) sees the same entry and removes it.
  RegistryService uninstaller;
  EXPECT_TRUE(uninstaller.removeRegistryKey(uninstall));
  EXPECT_FALSE(store->keyExists(*RegistryKey::parse(uninstall)));
  EXPECT_TRUE(store->keyExists(*RegistryKey::parse(uninstall.left(uninstall.lastIndexOf('\\')))));
}

TEST_F(RegistryServiceTest, ADWordShowsAsDWordInTheCommandLineTool) {
  ASSERT_TRUE(service.setRegistryIntValue("HKEY_CURRENT_USER\\Software\\Tidewell", "Count", 10));
  QProcess tool;
  tool.start(TW_REGTOOL, {"export", "HKEY_CURRENT_USER\\Software\\Tidewell"});
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_TRUE(tool.readAllStandardOutput().contains("\"Count\"=dword:0000000a\r\n"));

  tool.start(TW_REGTOOL, {"query", "HKCU\\Software\\Tidewell", "Count"});
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_TRUE(tool.readAllStandardOutput().contains("    Count    REG_DWORD    0xa\n"));
}

} // namespace
