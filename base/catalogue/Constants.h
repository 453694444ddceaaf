#pragma once
// Constants every source unit shares, and the page catalogue: URL patterns
// whose "%1" is the URL prefix. Built once, on first use.
#include <QMap>
#include <QString>

namespace Constants {

const QString &applicationName(); // "Tidewell"
// The name in other languages, by desktop locale: "zh_CN" gives "潮井".
const QMap<QString, QString> &localApplicationNames();
const QString &urlPrefix();      // "this://app"
const QString &nativeVersion();  // "2.0.0"
const QString &serviceBaseUrl(); // set at build time

} // namespace Constants

namespace PageCatalogue {

// Absolute page URLs: the catalogue's patterns with the URL prefix.
const QString &installerPage(); // this://app/installer/installer.html
const QString &unstallerPage(); // this://app/unstaller/unstaller.html
const QString &mainPage();      // this://app/main/main.html
const QString &upgraderPage();  // this://app/upgrader/upgrader.html
const QString &historyPage();   // this://app/history/history.html
const QString &hotkeyPage();    // this://app/app/hotkey.html

} // namespace PageCatalogue
