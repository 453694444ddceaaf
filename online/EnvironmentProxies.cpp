#include "online/EnvironmentProxies.h"

#include <QHostAddress>

QList<QNetworkProxy> EnvironmentProxies::queryProxy(const QNetworkProxyQuery &query) {
  const QString host = query.peerHostName().toLower();
  if (host == QLatin1String("localhost") || QHostAddress(host).isLoopback())
    return {QNetworkProxy(QNetworkProxy::NoProxy)};
  return systemProxyForQuery(query);
}
