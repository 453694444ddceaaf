#pragma once
// The native service object of the page scripts. Each script method is a
// member of the same name, registered in the passport by name and argument
// count; the members delegate to the subsystem objects.
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

#include "base/CallbackEvent.h"
#include "bridge/Asset.h"
#include "bridge/DesktopOpener.h"
#include "bridge/PagePath.h"
#include "bridge/ScreenAndClipboard.h"
#include "bridge/ScriptFunction.h"
#include "bridge/SettingsStore.h"
#include "bridge/SharedMemoryStore.h"
#include "bridge/StartOnBoot.h"
#include "bridge/TimerService.h"
#include "cleanup/CleanerMeasurement.h"
#include "cleanup/InstalledPrograms.h"
#include "cleanup/Pagefile.h"
#include "cleanup/PrivacyCleaner.h"
#include "cleanup/PrivacyPreview.h"
#include "cleanup/StartupItems.h"
#include "disk/CleaningUndo.h"
#include "disk/DriveInfo.h"
#include "disk/DuplicateFileFinder.h"
#include "disk/LargeFileScanner.h"
#include "disk/ScannedFileRemover.h"
#include "disk/SpaceMapScanner.h"
#include "online/ServiceClient.h"
#include "online/UpdateDownloader.h"
#include "system/FileService.h"
#include "system/ProcessControl.h"
#include "system/ShellService.h"
#include "system/SystemInfo.h"
#include "system/registry/RegistryService.h"

class NativeUtil : public Asset<NativeUtil> {
public:
  explicit NativeUtil(const ISciterAPI &api);

  som_passport_t *passport();
  const ISciterAPI &engine() const { return api; }

  // Host-side operations: the application host registers its windows and a
  // non-zero host value; the installer and the uninstaller register none.
  static void setMainWindow(HWINDOW window);
  static HWINDOW mainWindow();
  static void setTrayWindow(HWINDOW window);
  static HWINDOW trayWindow();
  void setHostWindow(int32_t value) { hostWindow = value; }
  static void removeTrayIcon();

  // Script methods, in passport order.
  int log(const QString &message, const QString &tag);
  bool is64BitOS();
  bool isWindows7();
  bool isInternetAvailable();
  QString getRegistryStringValue(int root, const QString &path, const QString &name);
  bool createDesktopShortcut(const PagePath &appName, const PagePath &exePath,
                             const QString &cmdLine, const PagePath &appIcon);
  bool setTrayIcon();
  QString getDesktopPath();
  QString getCommandLine();
  bool isProcessRunning(const QString &name);
  QString getProcessIDList(const QString &name);
  QString getProcessNameList();
  bool killProcess(const QString &name);
  int getSecondsSinceEpoch();
  QString OS();
  QString cpuArchitecture();
  QString kernelType();
  QString kernelVersion();
  QString appDataPath();
  QString programsPath();
  QString selectFolder(const QString &title, const PagePath &folder);
  bool isNetworkConnected();
  bool copyFile(const PagePath &from, const PagePath &to, bool overwrite);
  bool launch(const PagePath &program, const PagePath &workDir, const QString &command);
  bool setSharedMemoryValue(const QString &key, const QString &value);
  QString getSharedMemoryValue(const QString &key);
  QString language();
  bool mkdir(const PagePath &path);
  QString arguments();
  QString getDiskList();
  double getMemeryBits();
  double getSystemDriveFreeBits();
  double getSystemDriveTotalBits();
  QString getLogicalDrives();
  QString getInstalledPrograms();
  bool uninstallProgram(const QString &command);
  QString scanLargeFiles(const PagePath &folders, float minimumMegabytes);
  int startScanLargeFiles(const PagePath &folders, float minimumMegabytes, ScriptCallback callback);
  bool stopScanLargeFiles(int id);
  bool addScanLargeFilesFolder(int id, const PagePath &folder);
  QString findDuplicateFiles(const PagePath &folders);
  int startScanDuplicateFiles(const PagePath &folders, ScriptCallback callback);
  bool stopScanDuplicateFiles(int id);
  bool addScanDuplicateFilesFolder(int id, const PagePath &folder);
  QString getStartupItems();
  bool removeStartupItem(const QString &type, const QString &location, const QString &name);
  QString getPrivacyItems();
  bool cleanPrivacyItems(const QString &items);
  QString getPrivacyItemFiles(const QString &type);
  QString getCleaners();
  bool cleanCleaners(const QString &ids);
  int measureCleaners(ScriptCallback callback);
  QString cleanItems(const QString &ids);
  int undoCleaning(const QString &record, ScriptCallback callback);
  bool clearCleaningRecords();
  QString getPagefileSize();
  bool migratePagefile(const QString &drive);
  QString getFileSha256(const PagePath &path);
  bool setRegistryString(const QString &path, const QString &name, const QString &value);
  bool setRegistryIntValue(const QString &path, const QString &name, int value);
  bool removeRegistry(const QString &path, const QString &name);
  bool removeRegistryKey(const QString &path);
  bool removeFile(const PagePath &path);
  bool removeDir(const PagePath &path);
  bool openFolder(const PagePath &path);
  QString getTempPath();
  QString toBase64Str(const QString &text);
  int getCursorX();
  int getCursorY();
  int getMonitorCount();
  QString processFolder();
  QString checkUpdate();
  QString getVersionList();
  QString getAppInfo();
  bool submitFeedback(const QString &feedback);
  bool reportEvent(const QString &event);
  QString getClientId();
  bool openUrl(const QString &url);
  bool copyToClipboard(const QString &text);
  QString downloadUpdate(const QString &url, const PagePath &savePath, ScriptCallback callback);
  QString installUpdate(const PagePath &package);
  QString installedPackage();
  bool exitApp();
  QString getSetting(const QString &key, const QString &defaultValue);
  bool setSetting(const QString &key, const QString &value);
  bool isStartupOnBoot();
  bool setStartupOnBoot(bool enable);
  bool setMinimizeOnClose(bool flag);
  int setInterval(std::shared_ptr<ScriptFunction> function, int interval);
  bool clearInterval(int id);
  int setTimeout(std::shared_ptr<ScriptFunction> function, int delay);
  bool clearTimeout(int id);
  bool enableMenuOutsideClickClose(int x, int y, int width, int height);
  bool disableMenuOutsideClickClose();
  int deleteScannedFiles(const QString &request, ScriptCallback callback);
  bool stopDeleteScannedFiles(int id);
  int startScanSpaceMap(const PagePath &folder, ScriptCallback callback);
  bool stopScanSpaceMap(int id);
  QString spaceMapChildren(int id, const PagePath &path, bool apparent);
  bool forgetSpaceMapItem(int id, const PagePath &path);

private:
  friend class Asset<NativeUtil>;
  ~NativeUtil();

  const ISciterAPI &api;
  SystemInfo systemInfo;
  ProcessControl processControl;
  FileService fileService;
  ShellService shellService;
  RegistryService registryService;
  DriveInfo driveInfo;
  LargeFileScanner largeFileScanner;
  DuplicateFileFinder duplicateFileFinder;
  ScannedFileRemover scannedFileRemover;
  CleaningUndo cleaningUndo;
  SpaceMapScanner spaceMapScanner;
  StartupItems startupItems;
  StartOnBoot startOnBoot;
  InstalledPrograms installedPrograms;
  Pagefile pagefile;
  PrivacyCleaner privacyCleaner;
  PrivacyPreview privacyPreview;
  TimerService timerService;
  ScreenAndClipboard screenAndClipboard;
  DesktopOpener desktopOpener;
  SettingsStore settingsStore;
  SharedMemoryStore sharedMemories;
  // Clicks inside do not close the open menu.
  QRect menuRect;
  // Only whether it is 0 matters: while it is, no global events are raised
  // and exitApp does nothing.
  int32_t hostWindow = 0;
  ServiceClient serviceClient;
  UpdateDownloader updateDownloader;

  // Script properties.
  const bool isDebug = false;
  const bool isAutoReload = false;
  const bool canMainWindowTopmost = true;
  const QString nativeVersion;
  const QString mainWindowPath;
  const QString updateWindowPath;
  const QString historyWindowPath;
  const QString hotkeyWindowPath;
};
