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
  static const QStringList names = {// online services
                                    "checkUpdate", "getVersionList", "getAppInfo", "submitFeedback",
                                    "reportEvent", "getClientId", "downloadUpdate"};
  return names;
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
