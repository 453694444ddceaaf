#include "bridge/NativeUtil.h"

#include <array>

#include "base/catalogue/Constants.h"
#include "base/log/Log.h"
#include "bridge/GlobalEvents.h"
#include "bridge/HostWindows.h"
#include "bridge/MethodTable.h"
#include "bridge/OutsideClickWatcher.h"
#include "bridge/TrayIcon.h"
#include "disk/CleaningRecords.h"
#include "online/ClientIdentity.h"

NativeUtil::NativeUtil(const ISciterAPI &api)
    : api(api), nativeVersion(Constants::nativeVersion()),
      mainWindowPath(PageCatalogue::mainPage()), updateWindowPath(PageCatalogue::upgraderPage()),
      historyWindowPath(PageCatalogue::historyPage()),
      hotkeyWindowPath(PageCatalogue::hotkeyPage()) {}

// The engine releases this object while it shuts down: background scans end
// here, before the process exits under their workers.
NativeUtil::~NativeUtil() {
  OutsideClickWatcher::instance().forget(this);
  LargeFileScanner::stopAllScans();
  DuplicateFileFinder::stopAllScans();
  ScannedFileRemover::stopAll();
  CleanerMeasurement::stopAll();
  CleaningUndo::stopAll();
  SpaceMapScanner::stopAllScans();
}

som_passport_t *NativeUtil::passport() {
  // Filled once per process; a function-local static is initialised once,
  // also against concurrent first requests.
  static const std::array<som_method_def_t, 100> methods = {
      MethodTable::method<&NativeUtil::log>(api, "log"),
      MethodTable::method<&NativeUtil::is64BitOS>(api, "is64BitOS"),
      MethodTable::method<&NativeUtil::isWindows7>(api, "isWindows7"),
      MethodTable::method<&NativeUtil::isInternetAvailable>(api, "isInternetAvailable"),
      MethodTable::method<&NativeUtil::getRegistryStringValue>(api, "getRegistryStringValue"),
      MethodTable::method<&NativeUtil::createDesktopShortcut>(api, "createDesktopShortcut"),
      MethodTable::method<&NativeUtil::setTrayIcon>(api, "setTrayIcon"),
      MethodTable::method<&NativeUtil::getDesktopPath>(api, "getDesktopPath"),
      MethodTable::method<&NativeUtil::getCommandLine>(api, "getCommandLine"),
      MethodTable::method<&NativeUtil::isProcessRunning>(api, "isProcessRunning"),
      MethodTable::method<&NativeUtil::getProcessIDList>(api, "getProcessIDList"),
      MethodTable::method<&NativeUtil::getProcessNameList>(api, "getProcessNameList"),
      MethodTable::method<&NativeUtil::killProcess>(api, "killProcess"),
      MethodTable::method<&NativeUtil::getSecondsSinceEpoch>(api, "getSecondsSinceEpoch"),
      MethodTable::method<&NativeUtil::OS>(api, "OS"),
      MethodTable::method<&NativeUtil::cpuArchitecture>(api, "cpuArchitecture"),
      MethodTable::method<&NativeUtil::kernelType>(api, "kernelType"),
      MethodTable::method<&NativeUtil::kernelVersion>(api, "kernelVersion"),
      MethodTable::method<&NativeUtil::appDataPath>(api, "appDataPath"),
      MethodTable::method<&NativeUtil::programsPath>(api, "programsPath"),
      MethodTable::method<&NativeUtil::selectFolder>(api, "selectFolder"),
      MethodTable::method<&NativeUtil::isNetworkConnected>(api, "isNetworkConnected"),
      MethodTable::method<&NativeUtil::copyFile>(api, "copyFile"),
      MethodTable::method<&NativeUtil::launch>(api, "launch"),
      MethodTable::method<&NativeUtil::setSharedMemoryValue>(api, "setSharedMemoryValue"),
      MethodTable::method<&NativeUtil::getSharedMemoryValue>(api, "getSharedMemoryValue"),
      MethodTable::method<&NativeUtil::language>(api, "language"),
      MethodTable::method<&NativeUtil::mkdir>(api, "mkdir"),
      MethodTable::method<&NativeUtil::arguments>(api, "arguments"),
      MethodTable::method<&NativeUtil::getDiskList>(api, "getDiskList"),
      MethodTable::method<&NativeUtil::getMemeryBits>(api, "getMemeryBits"),
      MethodTable::method<&NativeUtil::getSystemDriveFreeBits>(api, "getSystemDriveFreeBits"),
      MethodTable::method<&NativeUtil::getSystemDriveTotalBits>(api, "getSystemDriveTotalBits"),
      MethodTable::method<&NativeUtil::getLogicalDrives>(api, "getLogicalDrives"),
      MethodTable::method<&NativeUtil::getInstalledPrograms>(api, "getInstalledPrograms"),
      MethodTable::method<&NativeUtil::uninstallProgram>(api, "uninstallProgram"),
      MethodTable::method<&NativeUtil::scanLargeFiles>(api, "scanLargeFiles"),
      MethodTable::method<&NativeUtil::startScanLargeFiles>(api, "startScanLargeFiles"),
      MethodTable::method<&NativeUtil::stopScanLargeFiles>(api, "stopScanLargeFiles"),
      MethodTable::method<&NativeUtil::addScanLargeFilesFolder>(api, "addScanLargeFilesFolder"),
      MethodTable::method<&NativeUtil::findDuplicateFiles>(api, "findDuplicateFiles"),
      MethodTable::method<&NativeUtil::startScanDuplicateFiles>(api, "startScanDuplicateFiles"),
      MethodTable::method<&NativeUtil::stopScanDuplicateFiles>(api, "stopScanDuplicateFiles"),
      MethodTable::method<&NativeUtil::addScanDuplicateFilesFolder>(api,
                                                                    "addScanDuplicateFilesFolder"),
      MethodTable::method<&NativeUtil::getStartupItems>(api, "getStartupItems"),
      MethodTable::method<&NativeUtil::removeStartupItem>(api, "removeStartupItem"),
      MethodTable::method<&NativeUtil::getPrivacyItems>(api, "getPrivacyItems"),
      MethodTable::method<&NativeUtil::cleanPrivacyItems>(api, "cleanPrivacyItems"),
      MethodTable::method<&NativeUtil::getPagefileSize>(api, "getPagefileSize"),
      MethodTable::method<&NativeUtil::migratePagefile>(api, "migratePagefile"),
      MethodTable::method<&NativeUtil::getFileSha256>(api, "getFileSha256"),
      MethodTable::method<&NativeUtil::setRegistryString>(api, "setRegistryString"),
      MethodTable::method<&NativeUtil::setRegistryIntValue>(api, "setRegistryIntValue"),
      MethodTable::method<&NativeUtil::removeRegistry>(api, "removeRegistry"),
      MethodTable::method<&NativeUtil::removeRegistryKey>(api, "removeRegistryKey"),
      MethodTable::method<&NativeUtil::removeFile>(api, "removeFile"),
      MethodTable::method<&NativeUtil::removeDir>(api, "removeDir"),
      MethodTable::method<&NativeUtil::openFolder>(api, "openFolder"),
      MethodTable::method<&NativeUtil::getTempPath>(api, "getTempPath"),
      MethodTable::method<&NativeUtil::toBase64Str>(api, "toBase64Str"),
      MethodTable::method<&NativeUtil::getCursorX>(api, "getCursorX"),
      MethodTable::method<&NativeUtil::getCursorY>(api, "getCursorY"),
      MethodTable::method<&NativeUtil::getMonitorCount>(api, "getMonitorCount"),
      MethodTable::method<&NativeUtil::processFolder>(api, "processFolder"),
      MethodTable::method<&NativeUtil::checkUpdate>(api, "checkUpdate"),
      MethodTable::method<&NativeUtil::getVersionList>(api, "getVersionList"),
      MethodTable::method<&NativeUtil::getAppInfo>(api, "getAppInfo"),
      MethodTable::method<&NativeUtil::submitFeedback>(api, "submitFeedback"),
      MethodTable::method<&NativeUtil::reportEvent>(api, "reportEvent"),
      MethodTable::method<&NativeUtil::getClientId>(api, "getClientId"),
      MethodTable::method<&NativeUtil::openUrl>(api, "openUrl"),
      MethodTable::method<&NativeUtil::copyToClipboard>(api, "copyToClipboard"),
      MethodTable::method<&NativeUtil::downloadUpdate>(api, "downloadUpdate"),
      MethodTable::method<&NativeUtil::exitApp>(api, "exitApp"),
      MethodTable::method<&NativeUtil::getSetting>(api, "getSetting"),
      MethodTable::method<&NativeUtil::setSetting>(api, "setSetting"),
      MethodTable::method<&NativeUtil::isStartupOnBoot>(api, "isStartupOnBoot"),
      MethodTable::method<&NativeUtil::setStartupOnBoot>(api, "setStartupOnBoot"),
      MethodTable::method<&NativeUtil::setMinimizeOnClose>(api, "setMinimizeOnClose"),
      MethodTable::method<&NativeUtil::setInterval>(api, "setInterval"),
      MethodTable::method<&NativeUtil::clearInterval>(api, "clearInterval"),
      MethodTable::method<&NativeUtil::setTimeout>(api, "setTimeout"),
      MethodTable::method<&NativeUtil::clearTimeout>(api, "clearTimeout"),
      MethodTable::method<&NativeUtil::enableMenuOutsideClickClose>(api,
                                                                    "enableMenuOutsideClickClose"),
      MethodTable::method<&NativeUtil::disableMenuOutsideClickClose>(
          api, "disableMenuOutsideClickClose"),
      MethodTable::method<&NativeUtil::deleteScannedFiles>(api, "deleteScannedFiles"),
      MethodTable::method<&NativeUtil::stopDeleteScannedFiles>(api, "stopDeleteScannedFiles"),
      MethodTable::method<&NativeUtil::getPrivacyItemFiles>(api, "getPrivacyItemFiles"),
      MethodTable::method<&NativeUtil::getCleaners>(api, "getCleaners"),
      MethodTable::method<&NativeUtil::cleanCleaners>(api, "cleanCleaners"),
      MethodTable::method<&NativeUtil::measureCleaners>(api, "measureCleaners"),
      MethodTable::method<&NativeUtil::cleanItems>(api, "cleanItems"),
      MethodTable::method<&NativeUtil::undoCleaning>(api, "undoCleaning"),
      MethodTable::method<&NativeUtil::clearCleaningRecords>(api, "clearCleaningRecords"),
      MethodTable::method<&NativeUtil::installUpdate>(api, "installUpdate"),
      MethodTable::method<&NativeUtil::installedPackage>(api, "installedPackage"),
      MethodTable::method<&NativeUtil::startScanSpaceMap>(api, "startScanSpaceMap"),
      MethodTable::method<&NativeUtil::stopScanSpaceMap>(api, "stopScanSpaceMap"),
      MethodTable::method<&NativeUtil::spaceMapChildren>(api, "spaceMapChildren"),
      MethodTable::method<&NativeUtil::forgetSpaceMapItem>(api, "forgetSpaceMapItem"),
  };
  static const std::array<som_property_def_t, 8> properties = {
      MethodTable::property<&NativeUtil::isDebug>(api, "isDebug"),
      MethodTable::property<&NativeUtil::isAutoReload>(api, "isAutoReload"),
      MethodTable::property<&NativeUtil::canMainWindowTopmost>(api, "canMainWindowTopmost"),
      MethodTable::property<&NativeUtil::nativeVersion>(api, "nativeVersion"),
      MethodTable::property<&NativeUtil::mainWindowPath>(api, "mainWindowPath"),
      MethodTable::property<&NativeUtil::updateWindowPath>(api, "updateWindowPath"),
      MethodTable::property<&NativeUtil::historyWindowPath>(api, "historyWindowPath"),
      MethodTable::property<&NativeUtil::hotkeyWindowPath>(api, "hotkeyWindowPath"),
  };
  static som_passport_t passport = MethodTable::passport(api, "NativeUtil", methods, properties);
  return &passport;
}

int NativeUtil::log(const QString &message, const QString &tag) {
  return Log::scriptLine(message, tag);
}

int NativeUtil::setInterval(std::shared_ptr<ScriptFunction> function, int interval) {
  return timerService.setInterval(std::move(function), interval);
}
int NativeUtil::setTimeout(std::shared_ptr<ScriptFunction> function, int delay) {
  return timerService.setTimeout(std::move(function), delay);
}
bool NativeUtil::clearInterval(int id) {
  return timerService.clear(id);
}
bool NativeUtil::clearTimeout(int id) {
  return timerService.clear(id);
}

// System information and paths.
bool NativeUtil::is64BitOS() {
  return systemInfo.is64BitOS();
}
bool NativeUtil::isWindows7() {
  return systemInfo.isWindows7();
}
bool NativeUtil::isInternetAvailable() {
  return systemInfo.isInternetAvailable();
}
bool NativeUtil::isNetworkConnected() {
  return systemInfo.isNetworkConnected();
}
int NativeUtil::getSecondsSinceEpoch() {
  return systemInfo.getSecondsSinceEpoch();
}
QString NativeUtil::OS() {
  return systemInfo.OS();
}
QString NativeUtil::cpuArchitecture() {
  return systemInfo.cpuArchitecture();
}
QString NativeUtil::kernelType() {
  return systemInfo.kernelType();
}
QString NativeUtil::kernelVersion() {
  return systemInfo.kernelVersion();
}
QString NativeUtil::language() {
  return systemInfo.language();
}
QString NativeUtil::getCommandLine() {
  return systemInfo.getCommandLine();
}
QString NativeUtil::arguments() {
  return systemInfo.arguments();
}
QString NativeUtil::processFolder() {
  return systemInfo.processFolder();
}
QString NativeUtil::getTempPath() {
  return systemInfo.getTempPath();
}
QString NativeUtil::appDataPath() {
  return systemInfo.appDataPath();
}
QString NativeUtil::programsPath() {
  return systemInfo.programsPath();
}

// Processes.
bool NativeUtil::isProcessRunning(const QString &name) {
  return processControl.isProcessRunning(name);
}
QString NativeUtil::getProcessIDList(const QString &name) {
  return processControl.getProcessIDList(name);
}
QString NativeUtil::getProcessNameList() {
  return processControl.getProcessNameList();
}
bool NativeUtil::killProcess(const QString &name) {
  return processControl.killProcess(name);
}
bool NativeUtil::launch(const PagePath &program, const PagePath &workDir, const QString &command) {
  // A downloaded update starts as it was verified, or not at all.
  const QString start = updateDownloader.programToStart(program);
  return !start.isEmpty() && processControl.launch(start, workDir, command);
}

// Files.
bool NativeUtil::copyFile(const PagePath &from, const PagePath &to, bool overwrite) {
  return fileService.copyFile(from, to, overwrite);
}
bool NativeUtil::removeFile(const PagePath &path) {
  return fileService.removeFile(path);
}
bool NativeUtil::removeDir(const PagePath &path) {
  return fileService.removeDir(path);
}
bool NativeUtil::mkdir(const PagePath &path) {
  return fileService.mkdir(path);
}
QString NativeUtil::getFileSha256(const PagePath &path) {
  return fileService.getFileSha256(path);
}
QString NativeUtil::toBase64Str(const QString &text) {
  return fileService.toBase64Str(text);
}

// Shell.
QString NativeUtil::getDesktopPath() {
  return shellService.getDesktopPath();
}
bool NativeUtil::createDesktopShortcut(const PagePath &appName, const PagePath &exePath,
                                       const QString &cmdLine, const PagePath &appIcon) {
  return shellService.createDesktopShortcut(appName, exePath, cmdLine, appIcon);
}
QString NativeUtil::selectFolder(const QString &title, const PagePath &folder) {
  return shellService.selectFolder(title, folder);
}

// Registry.
QString NativeUtil::getRegistryStringValue(int root, const QString &path, const QString &name) {
  return registryService.getRegistryStringValue(root, path, name);
}
bool NativeUtil::setRegistryString(const QString &path, const QString &name, const QString &value) {
  return registryService.setRegistryString(path, name, value);
}
bool NativeUtil::setRegistryIntValue(const QString &path, const QString &name, int value) {
  return registryService.setRegistryIntValue(path, name, value);
}
bool NativeUtil::removeRegistry(const QString &path, const QString &name) {
  return registryService.removeRegistry(path, name);
}
bool NativeUtil::removeRegistryKey(const QString &path) {
  return registryService.removeRegistryKey(path);
}

// Drives and disks.
QString NativeUtil::getDiskList() {
  return driveInfo.getDiskList();
}
double NativeUtil::getMemeryBits() {
  return driveInfo.getMemeryBits();
}
double NativeUtil::getSystemDriveFreeBits() {
  return driveInfo.getSystemDriveFreeBits();
}
double NativeUtil::getSystemDriveTotalBits() {
  return driveInfo.getSystemDriveTotalBits();
}
QString NativeUtil::getLogicalDrives() {
  return driveInfo.getLogicalDrives();
}

// Start-up items.
QString NativeUtil::getStartupItems() {
  return startupItems.getStartupItems();
}
bool NativeUtil::removeStartupItem(const QString &type, const QString &location,
                                   const QString &name) {
  return startupItems.removeStartupItem(type, location, name);
}

// Start-on-boot.
bool NativeUtil::isStartupOnBoot() {
  return startOnBoot.isStartupOnBoot();
}
bool NativeUtil::setStartupOnBoot(bool enable) {
  return startOnBoot.setStartupOnBoot(enable);
}

// Scans.
QString NativeUtil::scanLargeFiles(const PagePath &folders, float minimumMegabytes) {
  return largeFileScanner.scanLargeFiles(folders, minimumMegabytes);
}
int NativeUtil::startScanLargeFiles(const PagePath &folders, float minimumMegabytes,
                                    ScriptCallback callback) {
  return largeFileScanner.startScanLargeFiles(folders, minimumMegabytes, std::move(callback));
}
bool NativeUtil::stopScanLargeFiles(int id) {
  return largeFileScanner.stopScanLargeFiles(id);
}
bool NativeUtil::addScanLargeFilesFolder(int id, const PagePath &folder) {
  return largeFileScanner.addScanLargeFilesFolder(id, folder);
}
QString NativeUtil::findDuplicateFiles(const PagePath &folders) {
  return duplicateFileFinder.findDuplicateFiles(folders);
}
int NativeUtil::startScanDuplicateFiles(const PagePath &folders, ScriptCallback callback) {
  return duplicateFileFinder.startScanDuplicateFiles(folders, std::move(callback));
}
bool NativeUtil::stopScanDuplicateFiles(int id) {
  return duplicateFileFinder.stopScanDuplicateFiles(id);
}
bool NativeUtil::addScanDuplicateFilesFolder(int id, const PagePath &folder) {
  return duplicateFileFinder.addScanDuplicateFilesFolder(id, folder);
}
int NativeUtil::deleteScannedFiles(const QString &request, ScriptCallback callback) {
  return scannedFileRemover.deleteScannedFiles(request, std::move(callback));
}
bool NativeUtil::stopDeleteScannedFiles(int id) {
  return scannedFileRemover.stopDeleteScannedFiles(id);
}
int NativeUtil::undoCleaning(const QString &record, ScriptCallback callback) {
  return cleaningUndo.undoCleaning(record, std::move(callback));
}
bool NativeUtil::clearCleaningRecords() {
  return CleaningRecords::clear();
}
int NativeUtil::startScanSpaceMap(const PagePath &folder, ScriptCallback callback) {
  return spaceMapScanner.startScanSpaceMap(folder, std::move(callback));
}
bool NativeUtil::stopScanSpaceMap(int id) {
  return spaceMapScanner.stopScanSpaceMap(id);
}
QString NativeUtil::spaceMapChildren(int id, const PagePath &path, bool apparent) {
  return spaceMapScanner.spaceMapChildren(id, path, apparent);
}
bool NativeUtil::forgetSpaceMapItem(int id, const PagePath &path) {
  return spaceMapScanner.forgetSpaceMapItem(id, path);
}

// Installed programs and swap.
QString NativeUtil::getInstalledPrograms() {
  return installedPrograms.getInstalledPrograms();
}
bool NativeUtil::uninstallProgram(const QString &command) {
  return installedPrograms.uninstallProgram(command);
}
QString NativeUtil::getPagefileSize() {
  return pagefile.getPagefileSize();
}
bool NativeUtil::migratePagefile(const QString &drive) {
  return pagefile.migratePagefile(drive);
}

// Privacy items.
QString NativeUtil::getPrivacyItems() {
  return privacyCleaner.getPrivacyItems();
}
bool NativeUtil::cleanPrivacyItems(const QString &items) {
  return privacyCleaner.cleanPrivacyItems(items);
}
QString NativeUtil::getPrivacyItemFiles(const QString &type) {
  return privacyPreview.getPrivacyItemFiles(type);
}
QString NativeUtil::getCleaners() {
  return privacyCleaner.getCleaners();
}
bool NativeUtil::cleanCleaners(const QString &ids) {
  return privacyCleaner.cleanCleaners(ids);
}
int NativeUtil::measureCleaners(ScriptCallback callback) {
  return CleanerMeasurement::start(std::move(callback));
}
QString NativeUtil::cleanItems(const QString &ids) {
  return privacyCleaner.cleanItems(ids);
}

// Desktop integration.
void NativeUtil::setMainWindow(HWINDOW window) {
  HostWindows::setMainWindow(window);
}
HWINDOW NativeUtil::mainWindow() {
  return HostWindows::mainWindow();
}
void NativeUtil::setTrayWindow(HWINDOW window) {
  HostWindows::setTrayWindow(window);
}
HWINDOW NativeUtil::trayWindow() {
  return HostWindows::trayWindow();
}
void NativeUtil::removeTrayIcon() {
  TrayIcon::instance().remove();
}
bool NativeUtil::setTrayIcon() {
  return TrayIcon::instance().show();
}
bool NativeUtil::exitApp() {
  if (hostWindow == 0)
    return false;
  GlobalEvents::raise(api, GlobalEvents::exitApp());
  TrayIcon::instance().remove();
  return true;
}
bool NativeUtil::enableMenuOutsideClickClose(int x, int y, int width, int height) {
  disableMenuOutsideClickClose();
  menuRect = QRect(x, y, width, height);
  QString error;
  const bool installed = OutsideClickWatcher::instance().install(
      this, menuRect,
      [this] {
        if (hostWindow != 0)
          GlobalEvents::raise(api, GlobalEvents::menuOutsideClick());
      },
      &error);
  if (!installed) {
    Log::info("NativeUtil", "failed to install menu mouse hook. err: {}", error.toStdString());
    return false;
  }
  Log::info("NativeUtil", "menu outside click hook installed. rect: {} {} {} {}", x, y, width,
            height);
  return true;
}
bool NativeUtil::disableMenuOutsideClickClose() {
  if (OutsideClickWatcher::instance().remove())
    Log::info("NativeUtil", "menu outside click hook uninstalled");
  return true;
}
bool NativeUtil::copyToClipboard(const QString &text) {
  return screenAndClipboard.copyToClipboard(text);
}
int NativeUtil::getCursorX() {
  return screenAndClipboard.cursorX();
}
int NativeUtil::getCursorY() {
  return screenAndClipboard.cursorY();
}
int NativeUtil::getMonitorCount() {
  return screenAndClipboard.monitorCount();
}
bool NativeUtil::openUrl(const QString &url) {
  return desktopOpener.openUrl(url);
}
bool NativeUtil::openFolder(const PagePath &path) {
  return desktopOpener.openFolder(path);
}

// Settings and shared memory.
QString NativeUtil::getSetting(const QString &key, const QString &defaultValue) {
  return settingsStore.value(key, defaultValue);
}
bool NativeUtil::setSetting(const QString &key, const QString &value) {
  return settingsStore.setValue(key, value);
}
bool NativeUtil::setMinimizeOnClose(bool flag) {
  return settingsStore.setMinimizeOnClose(flag);
}
bool NativeUtil::setSharedMemoryValue(const QString &key, const QString &value) {
  return sharedMemories.setValue(key, value);
}
QString NativeUtil::getSharedMemoryValue(const QString &key) {
  return sharedMemories.value(key);
}

// Online services.
QString NativeUtil::checkUpdate() {
  return serviceClient.checkUpdate();
}
QString NativeUtil::getVersionList() {
  return serviceClient.getVersionList();
}
QString NativeUtil::getAppInfo() {
  return serviceClient.getAppInfo();
}
bool NativeUtil::submitFeedback(const QString &feedback) {
  return serviceClient.submitFeedback(feedback);
}
bool NativeUtil::reportEvent(const QString &event) {
  return serviceClient.reportEvent(event);
}
QString NativeUtil::getClientId() {
  return ClientIdentity::current();
}
QString NativeUtil::downloadUpdate(const QString &url, const PagePath &savePath,
                                   ScriptCallback callback) {
  return updateDownloader.downloadUpdate(url, savePath, std::move(callback));
}
QString NativeUtil::installUpdate(const PagePath &package) {
  const QString refusal = updateDownloader.installUpdate(package);
  if (!refusal.isEmpty())
    Log::info("NativeUtil", "install update failed: {}", refusal.toStdString());
  return refusal;
}
QString NativeUtil::installedPackage() {
  return systemInfo.installedPackage();
}
