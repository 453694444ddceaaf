#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cleanup/StartupItems.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFactory.h"
#include "tests/cleanup/AutostartTestSupport.h"
#include "tests/system/LogLines.h"

using namespace AutostartTest;

namespace {

const QString runKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");

QByteArray entry(const QByteArray &keys) {
  return "[Desktop Entry]\nType=Application\nName=Test\n" + keys + "\n";
}

// The .reg form of a REG_EXPAND_SZ value: UTF-16LE bytes with the NUL.
QByteArray expandHex(const QString &text) {
  QByteArray bytes(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
  bytes.append(2, '\0');
  QStringList hex;
  for (const char byte : bytes)
    hex << QString::asprintf("%02x", quint8(byte));
  return "hex(2):" + hex.join(',').toLatin1();
}

// A readable form of a set of paths for comparisons.
std::string sorted(const QSet<QString> &paths) {
  QStringList list = paths.values();
  list.sort();
  return list.join('\n').toStdString();
}

class StartupItemsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + "/config"));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.path() + "/sys1:" + root.path() + "/sys2"));
    qunsetenv("XDG_CURRENT_DESKTOP");
    user = root.path() + "/config/autostart";
    sys1 = root.path() + "/sys1/autostart";
    sys2 = root.path() + "/sys2/autostart";
  }

  QJsonArray list(StartupItems &items) {
    return QJsonDocument::fromJson(items.getStartupItems().toUtf8()).object()["list"].toArray();
  }

  // Folder items as "scope location/name enabled" lines, in list order.
  QStringList folderItems(StartupItems &items) {
    QStringList lines;
    for (const QJsonValue &value : list(items)) {
      const QJsonObject item = value.toObject();
      if (item["type"] != "folder")
        continue;
      EXPECT_EQ(item["command"].toString(),
                item["location"].toString() + "/" + item["name"].toString());
      lines << QStringLiteral("%1 %2 %3")
                   .arg(item["scope"].toString(), item["command"].toString(),
                        item["enabled"].toBool() ? "on" : "off");
    }
    return lines;
  }

  QTemporaryDir root;
  QString user, sys1, sys2;
};

TEST_F(StartupItemsTest, FolderItemsAreEnabledExactlyWhenTheGeneratorStartsThem) {
  SKIP_WITHOUT_GENERATOR();
  qputenv("XDG_CURRENT_DESKTOP", "GNOME:Unity");
  const QString spaced = root.path() + "/my progs/run me";
  ASSERT_TRUE(QDir().mkpath(root.path() + "/my progs"));
  ASSERT_TRUE(QFile::copy("/bin/true", spaced));
  const QString missing = root.path() + "/missing";
  ASSERT_TRUE(writeFile(sys1 + "/plain.desktop", entry("Exec=true --flag")));
  ASSERT_TRUE(writeFile(sys1 + "/hidden.desktop", entry("Exec=true\nHidden=true")));
  ASSERT_TRUE(writeFile(sys1 + "/hiddenyes.desktop", entry("Exec=true\nHidden=Yes")));
  ASSERT_TRUE(writeFile(sys1 + "/notype.desktop", "[Desktop Entry]\nName=N\nExec=true\n"));
  ASSERT_TRUE(writeFile(sys1 + "/stray.desktop", "stray\n[Other]\nExec=x\n" + entry("Exec=true")));
  ASSERT_TRUE(
      writeFile(sys1 + "/tryexec.desktop", entry("Exec=true\nTryExec=" + missing.toUtf8())));
  ASSERT_TRUE(writeFile(sys1 + "/noprogram.desktop", entry("Exec=" + missing.toUtf8() + " x")));
  ASSERT_TRUE(writeFile(sys1 + "/noexec.desktop", entry("Comment=none")));
  ASSERT_TRUE(writeFile(sys1 + "/onlyxfce.desktop", entry("Exec=true\nOnlyShowIn=XFCE;KDE;")));
  ASSERT_TRUE(writeFile(sys1 + "/onlyunity.desktop", entry("Exec=true\nOnlyShowIn=XFCE;Unity;")));
  ASSERT_TRUE(writeFile(sys1 + "/notgnome.desktop", entry("Exec=true\nNotShowIn=GNOME;")));
  ASSERT_TRUE(writeFile(sys1 + "/link.desktop",
                        "[Desktop Entry]\nType=Link\nName=L\nURL=https://example.org\n"));
  ASSERT_TRUE(writeFile(sys1 + "/masked.desktop", entry("Exec=true")));
  ASSERT_TRUE(writeFile(sys2 + "/masked.desktop", entry("Exec=" + missing.toUtf8())));
  ASSERT_TRUE(writeFile(sys2 + "/second.desktop", entry("Exec=\"" + spaced.toUtf8() + "\"")));
  ASSERT_TRUE(writeFile(sys1 + "/override.desktop", entry("Exec=true")));
  ASSERT_TRUE(writeFile(user + "/override.desktop", entry("Exec=" + missing.toUtf8())));
  ASSERT_TRUE(writeFile(user + "/mine.desktop", "# mine\n[Desktop Entry]\nType = Application\n"
                                                "Name=Mine\nExec=\"" +
                                                    spaced.toUtf8() + "\" \"%%\"\n"));
  ASSERT_TRUE(writeFile(user + "/.dotted.desktop", entry("Exec=true")));
  ASSERT_TRUE(writeFile(user + "/notes.txt", "not an entry"));

  StartupItems items;
  const QStringList lines = folderItems(items);
  EXPECT_EQ(lines, (QStringList{
                       "machine " + sys1 + "/hidden.desktop off",
                       "machine " + sys1 + "/hiddenyes.desktop off",
                       "machine " + sys1 + "/link.desktop off",
                       "machine " + sys1 + "/masked.desktop on",
                       "machine " + sys1 + "/noexec.desktop off",
                       "machine " + sys1 + "/noprogram.desktop off",
                       "machine " + sys1 + "/notgnome.desktop off",
                       "machine " + sys1 + "/notype.desktop off",
                       "machine " + sys1 + "/onlyunity.desktop on",
                       "machine " + sys1 + "/onlyxfce.desktop off",
                       "machine " + sys1 + "/plain.desktop on",
                       "machine " + sys1 + "/stray.desktop on",
                       "machine " + sys1 + "/tryexec.desktop off",
                       "machine " + sys2 + "/second.desktop on",
                       "user " + user + "/mine.desktop on",
                       "user " + user + "/override.desktop off",
                   }));

  QSet<QString> enabled;
  for (const QString &line : lines) {
    if (line.endsWith(" on"))
      enabled.insert(line.section(' ', 1, 1));
  }
  EXPECT_EQ(sorted(enabled), sorted(generatedUnits(root.path()).started));
}

TEST_F(StartupItemsTest, GnomeSwitchTurnsAnItemOffThatTheGeneratorStillStarts) {
  SKIP_WITHOUT_GENERATOR();
  ASSERT_TRUE(
      writeFile(user + "/off.desktop", entry("Exec=true\nX-GNOME-Autostart-enabled=false")));
  ASSERT_TRUE(writeFile(user + "/on.desktop", entry("Exec=true\nX-GNOME-Autostart-enabled=true")));
  StartupItems items;
  EXPECT_EQ(folderItems(items),
            (QStringList{"user " + user + "/off.desktop off", "user " + user + "/on.desktop on"}));
  EXPECT_EQ(generatedUnits(root.path()).started,
            (QSet<QString>{user + "/off.desktop", user + "/on.desktop"}));
}

TEST_F(StartupItemsTest, RegistryItemsComeFromTheFourKeysInOrderWithTheirDataUnexpanded) {
  const QString reg = root.path() + "/run.reg";
  ASSERT_TRUE(writeFile(
      reg, "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
           "\"Once\"=\"/usr/bin/once\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
           "\"Expand\"=" +
               expandHex("%HOME%\\bin\\agent.exe -q") +
               "\r\n"
               "\"Number\"=dword:00000001\r\n"
               "\"Plain\"=\"C:\\\\Tools\\\\tool.exe\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
               "\"Machine\"=\"/opt/m\"\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
               "Run]\r\n"
               "\"Only32\"=\"/opt/32\"\r\n"));
  ASSERT_EQ(QProcess::execute(TW_REGTOOL, {"import", reg}), 0);

  StartupItems items;
  const QString hkcu =
      "HKEY_CURRENT_USER\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\";
  const QString hklm =
      "HKEY_LOCAL_MACHINE\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\";
  const auto item = [](const QString &command, const QString &location, const QString &name,
                       const QString &scope) {
    return QStringLiteral("        {\n"
                          "            \"command\": \"%1\",\n"
                          "            \"enabled\": true,\n"
                          "            \"location\": \"%2\",\n"
                          "            \"name\": \"%3\",\n"
                          "            \"scope\": \"%4\",\n"
                          "            \"type\": \"registry\"\n"
                          "        }")
        .arg(command, location, name, scope);
  };
  EXPECT_EQ(items.getStartupItems(),
            "{\n    \"list\": [\n" + item("/opt/m", hklm + "Run", "Machine", "machine") + ",\n" +
                item("%HOME%\\\\bin\\\\agent.exe -q", hkcu + "Run", "Expand", "user") + ",\n" +
                item("C:\\\\Tools\\\\tool.exe", hkcu + "Run", "Plain", "user") + ",\n" +
                item("/usr/bin/once", hkcu + "RunOnce", "Once", "user") + "\n    ]\n}\n");
}

TEST_F(StartupItemsTest, EnumerationEndsAtTheFirstValueThatDoesNotFitItsBuffer) {
  auto registry = std::shared_ptr<Registry>(createUserRegistry());
  const RegistryKey run(RegistryRoot::CurrentUser, runKey);
  // 2047 characters and the NUL fill the 4096 bytes; a 255-character name
  // and its NUL the 256 characters.
  ASSERT_TRUE(registry->setValue(run, QString(255, 'n'), RegistryValue::fromString("short")));
  ASSERT_TRUE(registry->setValue(run, "full", RegistryValue::fromString(QString(2047, 'x'))));
  ASSERT_TRUE(registry->setValue(run, "over", RegistryValue::fromString(QString(2048, 'x'))));
  ASSERT_TRUE(registry->setValue(run, "after", RegistryValue::fromString("/bin/after")));
  const RegistryKey once(RegistryRoot::CurrentUser, runKey + "Once");
  ASSERT_TRUE(registry->setValue(once, QString(256, 'n'), RegistryValue::fromString("long name")));
  ASSERT_TRUE(registry->setValue(once, "later", RegistryValue::fromString("/bin/later")));

  StartupItems items(registry);
  QStringList names;
  for (const QJsonValue &value : list(items))
    names << value.toObject()["name"].toString();
  EXPECT_EQ(names, (QStringList{QString(255, 'n'), "full"}));
}

TEST_F(StartupItemsTest, RegistryRemovalNeedsTheExactTypeAKnownRootAndAnExistingValue) {
  auto registry = std::shared_ptr<Registry>(createUserRegistry());
  const RegistryKey run(RegistryRoot::CurrentUser, runKey, RegistryView::View64);
  ASSERT_TRUE(registry->setValue(run, "Agent", RegistryValue::fromString("/bin/agent")));
  StartupItems items(registry);
  const QString location = "HKEY_CURRENT_USER\\" + runKey;

  LogLines log;
  EXPECT_FALSE(items.removeStartupItem("Registry", location, "Agent"));
  EXPECT_EQ(log.messages(), std::vector<std::string>{LogLines::native(
                                "NativeUtil", "remove startup item. type=Registry location=" +
                                                  location.toStdString() + " name=Agent")});
  EXPECT_FALSE(items.removeStartupItem("registry", "HKEY_CURRENT_USER", "Agent"));
  EXPECT_FALSE(items.removeStartupItem("registry", "HKCU\\" + runKey, "Agent"));
  EXPECT_FALSE(items.removeStartupItem("registry", "HKEY_CURRENT_USER/" + runKey, "Agent"));
  EXPECT_FALSE(items.removeStartupItem("registry", location, "Other"));
  EXPECT_FALSE(items.removeStartupItem("registry", location + "Once", "Agent"));
  EXPECT_TRUE(registry->value(run, "Agent").has_value());

  EXPECT_TRUE(items.removeStartupItem("registry", "hkey_current_user\\" + runKey, "agent"));
  EXPECT_FALSE(registry->value(run, "Agent").has_value());
  EXPECT_FALSE(items.removeStartupItem("registry", location, "Agent"));
}

TEST_F(StartupItemsTest, RemovingAMachineEntryMasksItAndLeavesTheSystemFileAlone) {
  SKIP_WITHOUT_GENERATOR();
  const QByteArray system = entry("Exec=true\n# keep me\nName[de]=Prüfung");
  ASSERT_TRUE(writeFile(sys2 + "/agent.desktop", system));
  ASSERT_TRUE(QFile::setPermissions(sys2 + "/agent.desktop", QFile::ReadOwner | QFile::ReadOther));
  StartupItems items;
  ASSERT_TRUE(generatedUnits(root.path()).sources.contains(sys2 + "/agent.desktop"));

  EXPECT_TRUE(items.removeStartupItem("folder", sys2, "agent.desktop"));
  EXPECT_EQ(readFile(sys2 + "/agent.desktop"), system);
  EXPECT_TRUE(generatedUnits(root.path()).sources.isEmpty());
  EXPECT_EQ(folderItems(items), QStringList{"user " + user + "/agent.desktop off"});
  EXPECT_TRUE(readFile(user + "/agent.desktop").contains("\nHidden=true\n"));
  EXPECT_TRUE(readFile(user + "/agent.desktop").contains("\nName=Test\n"));

  // Listed as the user's entry now; removing that keeps the mask.
  EXPECT_TRUE(items.removeStartupItem("folder", user, "agent.desktop"));
  EXPECT_TRUE(generatedUnits(root.path()).sources.isEmpty());
  EXPECT_EQ(readFile(sys2 + "/agent.desktop"), system);
}

TEST_F(StartupItemsTest, RemovingAUserEntryDeletesItOrMasksTheMachineEntryBehindIt) {
  SKIP_WITHOUT_GENERATOR();
  ASSERT_TRUE(writeFile(user + "/own.desktop", entry("Exec=true")));
  ASSERT_TRUE(writeFile(user + "/copy.desktop", entry("Exec=true --mine")));
  ASSERT_TRUE(writeFile(sys1 + "/copy.desktop", entry("Exec=true --system")));
  const QString outside = root.path() + "/elsewhere/linked.desktop";
  ASSERT_TRUE(writeFile(outside, entry("Exec=true")));
  ASSERT_TRUE(QFile::link(outside, user + "/linked.desktop"));
  StartupItems items;
  ASSERT_EQ(generatedUnits(root.path()).sources.size(), 3);

  EXPECT_TRUE(items.removeStartupItem("folder", user, "own.desktop"));
  EXPECT_FALSE(QFileInfo::exists(user + "/own.desktop"));
  EXPECT_TRUE(items.removeStartupItem("folder", user + "/", "copy.desktop"));
  EXPECT_TRUE(items.removeStartupItem("folder", user, "linked.desktop"));
  EXPECT_FALSE(QFileInfo(user + "/linked.desktop").isSymLink());
  EXPECT_EQ(readFile(outside), entry("Exec=true"));
  EXPECT_TRUE(generatedUnits(root.path()).sources.isEmpty());
  EXPECT_EQ(folderItems(items), QStringList{"user " + user + "/copy.desktop off"});

  // The file is gone: nothing to remove.
  EXPECT_FALSE(items.removeStartupItem("folder", user, "own.desktop"));
}

TEST_F(StartupItemsTest, FolderRemovalStaysInsideTheAutostartFolders) {
  const QString victim = root.path() + "/victim.desktop";
  ASSERT_TRUE(writeFile(victim, entry("Exec=true")));
  ASSERT_TRUE(writeFile(user + "/x.desktop", entry("Exec=true")));
  StartupItems items;
  EXPECT_FALSE(items.removeStartupItem("folder", root.path(), "victim.desktop"));
  EXPECT_FALSE(items.removeStartupItem("folder", user, "../../victim.desktop"));
  EXPECT_FALSE(items.removeStartupItem("folder", user + "/..", "autostart"));
  EXPECT_FALSE(items.removeStartupItem("Folder", user, "x.desktop"));
  EXPECT_FALSE(items.removeStartupItem("shortcut", user, "x.desktop"));
  EXPECT_TRUE(QFileInfo::exists(victim));
  EXPECT_TRUE(QFileInfo::exists(user + "/x.desktop"));
}

TEST_F(StartupItemsTest, NothingToListGivesAnEmptyList) {
  StartupItems items;
  EXPECT_EQ(items.getStartupItems(), "{\n    \"list\": [\n    ]\n}\n");
}

} // namespace
