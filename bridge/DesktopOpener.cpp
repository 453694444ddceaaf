#include "bridge/DesktopOpener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "base/log/Log.h"

namespace {

// The file manager's own interface: ShowFolders opens folders, ShowItems
// opens the folder of each item with the item selected.
bool askFileManager(const QString &method, const QString &path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return false;
  const QString service = QStringLiteral("org.freedesktop.FileManager1");
  QDBusConnectionInterface *names = bus.interface();
  if (!names)
    return false;
  const bool running = names->isServiceRegistered(service);
  const QStringList activatable =
      names->call(QStringLiteral("ListActivatableNames")).arguments().value(0).toStringList();
  if (!running && !activatable.contains(service))
    return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      service, QStringLiteral("/org/freedesktop/FileManager1"), service, method);
  call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
  return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool DesktopOpener::isOpenableUrl(const QString &text) {
  const QUrl url(text, QUrl::StrictMode);
  if (!url.isValid())
    return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("mailto"))
    return !url.path().isEmpty();
  return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
         !url.host().isEmpty();
}

bool DesktopOpener::openUrl(const QString &url) {
  if (url.isEmpty())
    return false;
  const bool opened = isOpenableUrl(url) && QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
  Log::info("NativeUtil", "open url {} result: {}", url.toStdString(), opened);
  return opened;
}

bool DesktopOpener::openFolder(const QString &path) {
  const QFileInfo info(path);
  const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
  const QString target = QDir::toNativeSeparators(folder);
  bool opened = false;
  if (!path.isEmpty() && QFileInfo(folder).isDir()) {
    // A file that exists is shown selected; anything else shows the folder.
    if (!info.isDir() && info.exists())
      opened = askFileManager(QStringLiteral("ShowItems"), info.absoluteFilePath());
    else
      opened = askFileManager(QStringLiteral("ShowFolders"), folder);
    if (!opened)
      opened = QProcess::startDetached(QStringLiteral("xdg-open"), {folder});
  }
  Log::info("NativeUtil", "open folder {} result: {}", target.toStdString(), opened);
  return opened;
}
