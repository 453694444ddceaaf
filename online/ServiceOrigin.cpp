#include "online/ServiceOrigin.h"

#include <QUrl>

#include "base/catalogue/Constants.h"
#include "online/HttpClient.h"

namespace {

QUrl strict(const QString &origin) {
  return QUrl(origin, QUrl::StrictMode);
}

bool isOrigin(const QUrl &url) {
  return url.isValid() && !url.host().isEmpty() && url.path().isEmpty() && !url.hasQuery() &&
         !url.hasFragment() && url.userInfo().isEmpty() &&
         (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

bool ServiceOrigin::isLoopback(const QString &origin) {
  const QUrl url = strict(origin);
  return isOrigin(url) && HttpClient::isLocalUrl(url);
}

bool ServiceOrigin::isAcceptable(const QString &origin) {
  const QUrl url = strict(origin);
  return isOrigin(url) && (url.scheme() == QLatin1String("https") || HttpClient::isLocalUrl(url));
}

QString ServiceOrigin::current() {
  const QString override = qEnvironmentVariable("TIDEWELL_SERVICE_BASE_URL");
  if (isLoopback(override))
    return override;
  const QString built = Constants::serviceBaseUrl();
  return isAcceptable(built) ? built : QString();
}
