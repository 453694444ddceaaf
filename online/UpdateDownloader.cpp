#include "online/UpdateDownloader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "base/catalogue/Constants.h"
#include "online/EnvironmentProxies.h"
#include "online/HttpClient.h"
#include "online/IdentityEncoding.h"
#include "online/UpdateDownload.h"

namespace {

// Bounds what waits in memory between the socket and the file.
constexpr qint64 readBufferBytes = 1 << 20;

} // namespace

UpdateDownloader::UpdateDownloader(int stallLimitMs) : stallLimitMs_(stallLimitMs) {}

UpdateDownloader::~UpdateDownloader() {
  for (const QPointer<UpdateDownload> &download : qAsConst(downloads_))
    if (download)
      download->cancel();
}

QString UpdateDownloader::downloadUpdate(const QString &url, const QString &savePath,
                                         ScriptCallback callback) {
  if (!manager_) {
    manager_ = std::make_unique<QNetworkAccessManager>();
    manager_->setProxyFactory(new EnvironmentProxies);
  }
  const QUrl target(url, QUrl::TolerantMode);
  const QString scheme = target.scheme().toLower();
  const auto failLater = [this, &callback](const QString &error) {
    QTimer::singleShot(0, manager_.get(), [callback, error] {
      callback(CallbackEvent()
                   .symbol(QStringLiteral("type"), QStringLiteral("error"))
                   .text(QStringLiteral("error"), error));
    });
    return QStringLiteral("started");
  };
  // Only the web: a page must not copy local files by way of a file: URL.
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
    return failLater(QStringLiteral("Protocol \"%1\" is unknown").arg(scheme));
  if (savePath.isEmpty())
    return failLater(QStringLiteral("save file failed: No file name specified"));
  QNetworkRequest request(target);
  request.setRawHeader("User-Agent",
                       QStringLiteral("%1/%2")
                           .arg(Constants::applicationName(), Constants::nativeVersion())
                           .toUtf8());
  // The file as it is, so its length can be checked against the announced one.
  IdentityEncoding::ask(request);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(HttpClient::maximumRedirects);
  QNetworkReply *reply = manager_->get(request);
  reply->setReadBufferSize(readBufferBytes);
  // Finished downloads delete themselves; only the running ones are kept.
  downloads_.removeAll(nullptr);
  downloads_.append(
      new UpdateDownload(reply, savePath, std::move(callback), stallLimitMs_, manager_.get()));
  return QStringLiteral("started");
}
