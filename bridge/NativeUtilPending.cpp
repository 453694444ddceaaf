// Members whose subsystems are not built yet. Each answers with the result by
// which it reports failure, so pages keep working; wiring one means moving it
// to NativeUtil.cpp as a delegation and dropping its name here.
#include "bridge/NativeUtil.h"

namespace {

QString serviceUnavailable() {
  return QStringLiteral("{\"error\":\"server unreachable\"}");
}

} // namespace

const QStringList &NativeUtil::pendingMembers() {
  static const QStringList names = {
      // desktop integration
      "setTrayIcon", "openFolder", "getCursorX", "getCursorY", "getMonitorCount", "openUrl",
      "copyToClipboard", "exitApp", "enableMenuOutsideClickClose", "disableMenuOutsideClickClose",
      // settings and shared memory
      "setSharedMemoryValue", "getSharedMemoryValue", "getSetting", "setSetting",
      "setMinimizeOnClose",
      // cleanup
      // online services
      "checkUpdate", "getVersionList", "getAppInfo", "submitFeedback", "reportEvent", "getClientId",
      "downloadUpdate"};
  return names;
}

bool NativeUtil::setTrayIcon() {
  return false;
}
bool NativeUtil::openFolder(const QString &) {
  return false;
}
int NativeUtil::getCursorX() {
  return 0;
}
int NativeUtil::getCursorY() {
  return 0;
}
int NativeUtil::getMonitorCount() {
  return 0;
}
bool NativeUtil::openUrl(const QString &) {
  return false;
}
bool NativeUtil::copyToClipboard(const QString &) {
  return false;
}
bool NativeUtil::exitApp() {
  return false;
}
bool NativeUtil::enableMenuOutsideClickClose(int, int, int, int) {
  return false;
}
bool NativeUtil::disableMenuOutsideClickClose() {
  return true;
}

bool NativeUtil::setSharedMemoryValue(const QString &, const QString &) {
  return false;
}
QString NativeUtil::getSharedMemoryValue(const QString &) {
  return {};
}
QString NativeUtil::getSetting(const QString &, const QString &defaultValue) {
  return defaultValue;
}
bool NativeUtil::setSetting(const QString &, const QString &) {
  return true;
}
bool NativeUtil::setMinimizeOnClose(bool) {
  return true;
}

QString NativeUtil::checkUpdate() {
  return serviceUnavailable();
}
QString NativeUtil::getVersionList() {
  return serviceUnavailable();
}
QString NativeUtil::getAppInfo() {
  return serviceUnavailable();
}
bool NativeUtil::submitFeedback(const QString &) {
  return false;
}
bool NativeUtil::reportEvent(const QString &) {
  return true;
}
QString NativeUtil::getClientId() {
  return {};
}
QString NativeUtil::downloadUpdate(const QString &, const QString &, ScriptCallback) {
  return {};
}
