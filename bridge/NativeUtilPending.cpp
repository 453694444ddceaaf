// Members whose subsystems are not built yet. Each answers with the result by
// which it reports failure, so pages keep working; wiring one means moving it
// to NativeUtil.cpp as a delegation and dropping its name here.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "bridge/NativeUtil.h"

namespace {

QString emptyList() {
  return QString::fromUtf8(
      QJsonDocument(QJsonObject{{"list", QJsonArray()}}).toJson(QJsonDocument::Indented));
}

QString serviceUnavailable() {
  return QStringLiteral("{\"error\":\"server unreachable\"}");
}

} // namespace

const QStringList &NativeUtil::pendingMembers() {
  static const QStringList names = {// start-on-boot
                                    "isStartupOnBoot", "setStartupOnBoot",
                                    // cleanup
                                    "getInstalledPrograms", "uninstallProgram", "getStartupItems",
                                    "removeStartupItem", "getPrivacyItems", "cleanPrivacyItems",
                                    "getPagefileSize", "migratePagefile",
                                    // online services
                                    "checkUpdate", "getVersionList", "getAppInfo", "submitFeedback",
                                    "reportEvent", "getClientId", "downloadUpdate"};
  return names;
}

bool NativeUtil::isStartupOnBoot() {
  return false;
}
bool NativeUtil::setStartupOnBoot(bool) {
  return false;
}

QString NativeUtil::getInstalledPrograms() {
  return emptyList();
}
bool NativeUtil::uninstallProgram(const QString &) {
  return false;
}
QString NativeUtil::getStartupItems() {
  return emptyList();
}
bool NativeUtil::removeStartupItem(const QString &, const QString &, const QString &) {
  return false;
}
QString NativeUtil::getPrivacyItems() {
  return emptyList();
}
bool NativeUtil::cleanPrivacyItems(const QString &) {
  return true;
}
QString NativeUtil::getPagefileSize() {
  return QStringLiteral("0");
}
bool NativeUtil::migratePagefile(const QString &) {
  return false;
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
