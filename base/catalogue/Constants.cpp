#include "base/catalogue/Constants.h"

#ifndef TW_SERVICE_BASE_URL
#error "TW_SERVICE_BASE_URL must be set by the build"
#endif

namespace {

struct Catalogue {
  QString applicationName = QStringLiteral("Tidewell");
  QMap<QString, QString> localApplicationNames{{"zh_CN", QString::fromUtf8("潮井")}};
  QString urlPrefix = QStringLiteral("this://app");
  QString nativeVersion = QStringLiteral("2.0.0");
  QString serviceBaseUrl = QStringLiteral(TW_SERVICE_BASE_URL);
  QString installerPage = page("%1/installer/installer.html");
  QString unstallerPage = page("%1/unstaller/unstaller.html");
  QString mainPage = page("%1/main/main.html");
  QString upgraderPage = page("%1/upgrader/upgrader.html");
  QString historyPage = page("%1/history/history.html");
  QString hotkeyPage = page("%1/app/hotkey.html");

  QString page(const char *pattern) const { return QString::fromLatin1(pattern).arg(urlPrefix); }
};

const Catalogue &catalogue() {
  static const Catalogue instance; // thread-safe one-time construction
  return instance;
}

} // namespace

namespace Constants {
const QString &applicationName() {
  return catalogue().applicationName;
}
const QMap<QString, QString> &localApplicationNames() {
  return catalogue().localApplicationNames;
}
const QString &urlPrefix() {
  return catalogue().urlPrefix;
}
const QString &nativeVersion() {
  return catalogue().nativeVersion;
}
const QString &serviceBaseUrl() {
  return catalogue().serviceBaseUrl;
}
} // namespace Constants

namespace PageCatalogue {
const QString &installerPage() {
  return catalogue().installerPage;
}
const QString &unstallerPage() {
  return catalogue().unstallerPage;
}
const QString &mainPage() {
  return catalogue().mainPage;
}
const QString &upgraderPage() {
  return catalogue().upgraderPage;
}
const QString &historyPage() {
  return catalogue().historyPage;
}
const QString &hotkeyPage() {
  return catalogue().hotkeyPage;
}
} // namespace PageCatalogue
