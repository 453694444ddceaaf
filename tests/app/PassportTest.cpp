// The script globals as the engine sees them: passports, properties, the
// members that still answer with failure values, and log.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <utility>

#include "FakeEngine.h"
#include "base/log/LogSetup.h"
#include "bridge/NativeUtil.h"
#include "bridge/VirtualKey.h"

namespace {

const std::vector<std::pair<const char *, size_t>> scriptMethods = {
    {"log", 2},
    {"is64BitOS", 0},
    {"isWindows7", 0},
    {"isInternetAvailable", 0},
    {"getRegistryStringValue", 3},
    {"createDesktopShortcut", 4},
    {"setTrayIcon", 0},
    {"getDesktopPath", 0},
    {"getCommandLine", 0},
    {"isProcessRunning", 1},
    {"getProcessIDList", 1},
    {"getProcessNameList", 0},
    {"killProcess", 1},
    {"getSecondsSinceEpoch", 0},
    {"OS", 0},
    {"cpuArchitecture", 0},
    {"kernelType", 0},
    {"kernelVersion", 0},
    {"appDataPath", 0},
    {"programsPath", 0},
    {"selectFolder", 2},
    {"isNetworkConnected", 0},
    {"copyFile", 3},
    {"launch", 3},
    {"setSharedMemoryValue", 2},
    {"getSharedMemoryValue", 1},
    {"language", 0},
    {"mkdir", 1},
    {"arguments", 0},
    {"getDiskList", 0},
    {"getMemeryBits", 0},
    {"getSystemDriveFreeBits", 0},
    {"getSystemDriveTotalBits", 0},
    {"getLogicalDrives", 0},
    {"getInstalledPrograms", 0},
    {"uninstallProgram", 1},
    {"scanLargeFiles", 2},
    {"startScanLargeFiles", 3},
    {"stopScanLargeFiles", 1},
    {"addScanLargeFilesFolder", 2},
    {"findDuplicateFiles", 1},
    {"startScanDuplicateFiles", 2},
    {"stopScanDuplicateFiles", 1},
    {"addScanDuplicateFilesFolder", 2},
    {"getStartupItems", 0},
    {"removeStartupItem", 3},
    {"getPrivacyItems", 0},
    {"cleanPrivacyItems", 1},
    {"getPagefileSize", 0},
    {"migratePagefile", 1},
    {"getFileSha256", 1},
    {"setRegistryString", 3},
    {"setRegistryIntValue", 3},
    {"removeRegistry", 2},
    {"removeRegistryKey", 1},
    {"removeFile", 1},
    {"removeDir", 1},
    {"openFolder", 1},
    {"getTempPath", 0},
    {"toBase64Str", 1},
    {"getCursorX", 0},
    {"getCursorY", 0},
    {"getMonitorCount", 0},
    {"processFolder", 0},
    {"checkUpdate", 0},
    {"getVersionList", 0},
    {"getAppInfo", 0},
    {"submitFeedback", 1},
    {"reportEvent", 1},
    {"getClientId", 0},
    {"openUrl", 1},
    {"copyToClipboard", 1},
    {"downloadUpdate", 3},
    {"exitApp", 0},
    {"getSetting", 2},
    {"setSetting", 2},
    {"isStartupOnBoot", 0},
    {"setStartupOnBoot", 1},
    {"setMinimizeOnClose", 1},
    {"setInterval", 2},
    {"clearInterval", 1},
    {"setTimeout", 2},
    {"clearTimeout", 1},
    {"enableMenuOutsideClickClose", 4},
    {"disableMenuOutsideClickClose", 0},
    {"deleteScannedFiles", 2},
    {"stopDeleteScannedFiles", 1},
    {"getPrivacyItemFiles", 1},
    {"getCleaners", 0},
    {"cleanCleaners", 1},
    {"measureCleaners", 1},
    {"cleanItems", 1},
    {"undoCleaning", 2},
    {"clearCleaningRecords", 0},
    {"installUpdate", 1},
    {"installedPackage", 0},

    {"startScanSpaceMap", 2},
    {"stopScanSpaceMap", 1},
    {"spaceMapChildren", 3},
    {"forgetSpaceMapItem", 2}};

template <class T>
class Held {
public:
  Held() : object(new T(FakeEngine::api())) { object->addRef(); }
  ~Held() { object->release(); }
  T *operator->() const { return object; }
  T *get() const { return object; }

private:
  T *object;
};

const som_method_def_t *findMethod(som_passport_t *passport, const char *name) {
  for (size_t i = 0; i < passport->n_methods; ++i) {
    if (QString(FakeEngine::atomName(passport->methods[i].name)) == name)
      return &passport->methods[i];
  }
  return nullptr;
}

VALUE callMethod(som_asset_t *object, som_passport_t *passport, const char *name,
                 std::vector<VALUE> args) {
  const som_method_def_t *method = findMethod(passport, name);
  EXPECT_NE(method, nullptr) << name;
  VALUE result{};
  if (method) {
    EXPECT_TRUE(method->func(object, static_cast<UINT>(args.size()), args.data(), &result));
  }
  for (VALUE &arg : args)
    FakeEngine::clear(arg);
  return result;
}

VALUE readProperty(som_asset_t *object, som_passport_t *passport, const char *name) {
  for (size_t i = 0; i < passport->n_properties; ++i) {
    if (QString(FakeEngine::atomName(passport->properties[i].name)) == name) {
      VALUE result{};
      EXPECT_TRUE(passport->properties[i].getter(object, &result));
      EXPECT_EQ(passport->properties[i].setter, nullptr) << name << " must be read-only";
      return result;
    }
  }
  ADD_FAILURE() << "no property " << name;
  return VALUE{};
}

TEST(NativeUtilPassport, HoldsTheScriptMethodsInTableOrderWithTheirArgumentCounts) {
  Held<NativeUtil> util;
  som_passport_t *passport = util->passport();
  EXPECT_EQ(passport->flags, 0u);
  EXPECT_STREQ(FakeEngine::atomName(passport->name), "NativeUtil");
  ASSERT_EQ(passport->n_methods, scriptMethods.size());
  for (size_t i = 0; i < scriptMethods.size(); ++i) {
    EXPECT_STREQ(FakeEngine::atomName(passport->methods[i].name), scriptMethods[i].first);
    EXPECT_EQ(passport->methods[i].params, scriptMethods[i].second) << scriptMethods[i].first;
    EXPECT_NE(passport->methods[i].func, nullptr);
  }
  EXPECT_EQ(util->passport(), passport);
  EXPECT_EQ(util->passport()->methods, passport->methods) << "filled once per process";
}

TEST(NativeUtilPassport, PropertiesAreReadOnlyWithTheirValues) {
  Held<NativeUtil> util;
  som_passport_t *passport = util->passport();
  const char *order[] = {"isDebug",           "isAutoReload",    "canMainWindowTopmost",
                         "nativeVersion",     "mainWindowPath",  "updateWindowPath",
                         "historyWindowPath", "hotkeyWindowPath"};
  ASSERT_EQ(passport->n_properties, 8u);
  for (size_t i = 0; i < 8; ++i)
    EXPECT_STREQ(FakeEngine::atomName(passport->properties[i].name), order[i]);
  auto boolean = [&](const char *name) {
    VALUE v = readProperty(util.get(), passport, name);
    EXPECT_EQ(FakeEngine::typeOf(v), T_BOOL) << name;
    return FakeEngine::integerOf(v) != 0;
  };
  auto text = [&](const char *name) {
    VALUE v = readProperty(util.get(), passport, name);
    const QString result = FakeEngine::textOf(v);
    FakeEngine::clear(v);
    return result;
  };
  EXPECT_FALSE(boolean("isDebug"));
  EXPECT_FALSE(boolean("isAutoReload"));
  EXPECT_TRUE(boolean("canMainWindowTopmost"));
  EXPECT_EQ(text("nativeVersion"), "2.0.0");
  EXPECT_EQ(text("mainWindowPath"), "this://app/main/main.html");
  EXPECT_EQ(text("updateWindowPath"), "this://app/upgrader/upgrader.html");
  EXPECT_EQ(text("historyWindowPath"), "this://app/history/history.html");
  EXPECT_EQ(text("hotkeyWindowPath"), "this://app/app/hotkey.html");
}

TEST(VirtualKeyPassport, PublishesTheFunctionKeysAndEscape) {
  Held<VirtualKey> keys;
  som_passport_t *passport = keys->passport();
  EXPECT_STREQ(FakeEngine::atomName(passport->name), "VirtualKey");
  EXPECT_EQ(passport->n_methods, 0u);
  ASSERT_EQ(passport->n_properties, 13u);
  for (int n = 1; n <= 12; ++n) {
    const QByteArray name = "F" + QByteArray::number(n);
    EXPECT_STREQ(FakeEngine::atomName(passport->properties[n - 1].name), name.constData());
    EXPECT_EQ(FakeEngine::integerOf(readProperty(keys.get(), passport, name.constData())), 111 + n);
  }
  EXPECT_STREQ(FakeEngine::atomName(passport->properties[12].name), "ESC");
  EXPECT_EQ(FakeEngine::integerOf(readProperty(keys.get(), passport, "ESC")), 27);
}

TEST(NativeUtilPassport, AssetProtocolCountsReferencesAndAnswersItsInterface) {
  auto *util = new NativeUtil(FakeEngine::api());
  som_asset_t *header = util;
  EXPECT_EQ(header->isa->asset_add_ref(header), 1);
  void *out = nullptr;
  EXPECT_EQ(header->isa->asset_get_interface(header, "other", &out), 0);
  EXPECT_EQ(header->isa->asset_get_interface(header, SOM_ASSET_INTERFACE_NAME, &out), 1);
  EXPECT_EQ(out, header);
  EXPECT_EQ(header->isa->asset_release(header), 1);
  EXPECT_EQ(header->isa->asset_get_passport(header), util->passport());
  EXPECT_EQ(header->isa->asset_release(header), 0);
}

TEST(NativeUtilLog, AMessageWithoutATagWritesOneScriptLine) {
  Held<NativeUtil> util;
  VALUE r = callMethod(util.get(), util->passport(), "log", {FakeEngine::text("hello from page")});
  EXPECT_EQ(FakeEngine::typeOf(r), T_INT);
  EXPECT_EQ(FakeEngine::integerOf(r), 0);
  const QString folder = Log::defaultFolder();
  const QStringList files = QDir(folder).entryList({"Tidewell-*.log"}, QDir::Files);
  ASSERT_EQ(files.size(), 1) << folder.toStdString();
  QFile file(folder + "/" + files.first());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  int matching = 0;
  for (const QByteArray &line : lines)
    matching += line.contains("[   undefined] hello from page") ? 1 : 0;
  EXPECT_EQ(matching, 1);
}

} // namespace
