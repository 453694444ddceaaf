#pragma once
// Requests of a window's pages for other schemes: the host hears of each
// (load-data notification) and may discard it; without socket access no
// request leaves for the network.
#include <QPointer>
#include <QWebEngineUrlRequestInterceptor>

class EngineWindow;

class RequestInterceptor : public QWebEngineUrlRequestInterceptor {
public:
  RequestInterceptor(EngineWindow *root, QObject *parent);
  void interceptRequest(QWebEngineUrlRequestInfo &info) override;

private:
  QPointer<EngineWindow> root;
};
