#pragma once
// Proxies as the environment names them (http_proxy, https_proxy, no_proxy).
// A loopback target never goes through a proxy: no proxy could reach it.
#include <QNetworkProxyFactory>

class EnvironmentProxies : public QNetworkProxyFactory {
public:
  QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};
