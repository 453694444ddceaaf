#include "engine/src/RequestInterceptor.h"

#include "engine/src/Engine.h"
#include "engine/src/EngineWindow.h"

#include <QSet>

RequestInterceptor::RequestInterceptor(EngineWindow *root, QObject *parent)
    : QWebEngineUrlRequestInterceptor(parent), root(root) {}

void RequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo &info) {
  const QUrl url = info.requestUrl();
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("this"))
    return; // the scheme handler asks the host
  static const QSet<QString> network{"http", "https", "ws", "wss", "ftp"};
  if (network.contains(scheme) && !Engine::instance().allows(ALLOW_SOCKET_IO)) {
    info.block(true);
    return;
  }
  if (!root || (!network.contains(scheme) && scheme != QLatin1String("file")))
    return;
  const std::u16string uri = url.toString(QUrl::RemoveFragment).toStdU16String();
  SCN_LOAD_DATA notification{};
  notification.code = SC_LOAD_DATA;
  notification.uri = uri.c_str();
  if (root->notifyHost(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&notification)) ==
      LOAD_DISCARD)
    info.block(true);
}
