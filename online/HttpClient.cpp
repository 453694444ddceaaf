#include "online/HttpClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTimer>

#include "base/catalogue/Constants.h"
#include "online/EnvironmentProxies.h"
#include "online/IdentityEncoding.h"
#include "platform/os/OsPlatform.h"

namespace {

constexpr int applicationId = 10001;

const QString disconnected = QStringLiteral("{\"error\":\"network disconnected\"}");
const QString unreachable = QStringLiteral("{\"error\":\"server unreachable\"}");
const QString timedOut = QStringLiteral("{\"error\":\"request timeout\"}");
const QString tooLarge = QStringLiteral("{\"error\":\"response too large\"}");

constexpr qint64 readMarginBytes = 1 << 20;

QString errorText(const QString &message) {
  return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), message}})
                               .toJson(QJsonDocument::Compact));
}

QUrl parsed(const QString &url) {
  return QUrl(url, QUrl::TolerantMode);
}

} // namespace

HttpClient &HttpClient::instance() {
  static HttpClient *client =
      new HttpClient(OsPlatform::connectivity(), QCoreApplication::instance());
  return *client;
}

HttpClient::HttpClient(std::shared_ptr<Connectivity> connectivity, QObject *parent)
    : QObject(parent), connectivity_(std::move(connectivity)),
      manager_(new QNetworkAccessManager(this)) {
  manager_->setProxyFactory(new EnvironmentProxies);
}

QString HttpClient::get(const QString &url, int timeoutMs) {
  return send(Method::Get, url, QString(), timeoutMs);
}

QString HttpClient::post(const QString &url, const QString &body, int timeoutMs) {
  return send(Method::Post, url, body, timeoutMs);
}

void HttpClient::postAsync(const QString &url, const QString &body) {
  const QUrl target = parsed(url);
  if (!refusal(target).isEmpty())
    return;
  QNetworkReply *reply = start(Method::Post, target, body);
  connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

QString HttpClient::send(Method method, const QString &url, const QString &body, int timeoutMs) {
  const QUrl target = parsed(url);
  const QString refused = refusal(target);
  if (!refused.isEmpty())
    return refused;
  return waitForReply(start(method, target, body), timeoutMs);
}

QString HttpClient::refusal(const QUrl &url) const {
  if (!isLocalUrl(url) && !isInternetConnected())
    return disconnected;
  if (!isServerReachable(url, reachabilityTimeoutMs))
    return unreachable;
  return QString();
}

QNetworkReply *HttpClient::start(Method method, const QUrl &url, const QString &body) {
  QNetworkRequest request(url);
  applyHeaders(request);
  // Redirects only to the same or a safer scheme; TLS errors are never
  // ignored (no handler for sslErrors), so they end the request.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(maximumRedirects);
  IdentityEncoding::ask(request);
  QNetworkReply *reply =
      method == Method::Get ? manager_->get(request) : manager_->post(request, body.toUtf8());
  // Reading pauses a little past the largest body (Qt stops short of its
  // buffer's size, so the margin makes sure a larger body gets past it), so
  // a huge or endless answer holds no more than that.
  reply->setReadBufferSize(maximumBodyBytes + readMarginBytes);
  return reply;
}

void HttpClient::applyHeaders(QNetworkRequest &request) const {
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  request.setRawHeader("X-App-Id", QByteArray::number(applicationId));
  request.setRawHeader("User-Agent",
                       QStringLiteral("%1/%2 (%3; %4)")
                           .arg(Constants::applicationName(), Constants::nativeVersion(),
                                QSysInfo::productType(), QSysInfo::productVersion())
                           .toUtf8());
}

QString HttpClient::waitForReply(QNetworkReply *reply, int timeoutMs) {
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  // Too large as announced or as received: never wait for the rest.
  bool oversized = false;
  const auto measure = [reply, &oversized, &loop] {
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (reply->bytesAvailable() > maximumBodyBytes ||
        (length.isValid() && length.toLongLong() > maximumBodyBytes)) {
      oversized = true;
      loop.quit();
    }
  };
  connect(reply, &QNetworkReply::metaDataChanged, &loop, measure);
  connect(reply, &QNetworkReply::readyRead, &loop, measure);
  timer.start(timeoutMs);
  measure();
  if (!reply->isFinished() && !oversized)
    loop.exec();

  QString result;
  if (oversized) {
    result = tooLarge;
    reply->abort();
  } else if (!reply->isFinished()) {
    result = timedOut;
    reply->abort();
  } else if (reply->error() != QNetworkReply::NoError) {
    result = errorText(reply->errorString());
  } else if (const QString refused = IdentityEncoding::refusal(*reply); !refused.isEmpty()) {
    result = errorText(refused);
  } else {
    result = QString::fromUtf8(reply->readAll());
  }
  timer.stop();
  reply->deleteLater();
  return result;
}

bool HttpClient::isLocalUrl(const QUrl &url) {
  const QString host = url.host(QUrl::FullyDecoded).toLower();
  if (host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1") ||
      host == QLatin1String("::1"))
    return true;
  const QHostAddress address(host);
  return !address.isNull() && address.isLoopback();
}

bool HttpClient::isInternetConnected() const {
  return connectivity_->isOnline();
}

bool HttpClient::isServerReachable(const QUrl &url, int timeoutMs) const {
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
    return true;
  QString host = url.host(QUrl::FullyDecoded);
  if (host.isEmpty())
    return false;
  quint16 port = quint16(url.port(scheme == QLatin1String("https") ? 443 : 80));
  // Through a proxy, the proxy is the server this machine must reach.
  const QList<QNetworkProxy> proxies =
      manager_->proxyFactory()->queryProxy(QNetworkProxyQuery(url));
  if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy &&
      proxies.first().type() != QNetworkProxy::DefaultProxy) {
    host = proxies.first().hostName();
    port = proxies.first().port();
  }
  QTcpSocket socket;
  socket.setProxy(QNetworkProxy::NoProxy);
  socket.connectToHost(host, port);
  if (!socket.waitForConnected(timeoutMs))
    return false;
  socket.abort();
  return true;
}
