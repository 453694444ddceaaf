#include "engine/src/EnginePage.h"

#include "engine/src/Bridge.h"
#include "engine/src/Documents.h"
#include "engine/src/Engine.h"
#include "engine/src/EngineWindow.h"

#include <QWebEngineScript>

#include <cstdio>

namespace {
const QString bridgeMarker = QStringLiteral("\x01tidewell-bridge:");
const QChar partMarker(0x02); // starts every part of a long message but its last
} // namespace

EnginePage::EnginePage(QWebEngineProfile *profile, EngineWindow *window)
    : QWebEnginePage(profile, window), owner(window) {}

EnginePage::~EnginePage() {
  Documents::instance().detach(this);
}

bool EnginePage::isProgramOrigin(const QUrl &url) {
  return url.scheme() == QLatin1String("this") && url.host() == QLatin1String("app");
}

bool EnginePage::javaScriptPrompt(const QUrl &securityOrigin, const QString &message,
                                  const QString &defaultValue, QString *result) {
  if (!defaultValue.startsWith(bridgeMarker))
    return QWebEnginePage::javaScriptPrompt(securityOrigin, message, defaultValue, result);
  const bool trusted = isProgramOrigin(securityOrigin) && isProgramOrigin(url()) &&
                       defaultValue.midRef(bridgeMarker.size()) == Engine::instance().token();
  if (!trusted) {
    std::fprintf(stderr, "tidewell-engine: refused a bridge call from %s\n",
                 qPrintable(securityOrigin.toString()));
    return false;
  }
  if (message.startsWith(partMarker)) {
    pendingMessage += message.midRef(1);
    *result = QStringLiteral("[null]");
    return true;
  }
  if (pendingMessage.isEmpty()) {
    *result = Bridge::handle(this, message);
  } else {
    *result = Bridge::handle(this, pendingMessage + message);
    pendingMessage.clear();
  }
  return true;
}

void EnginePage::deliver(uint64_t document, const QByteArray &items) {
  if (Documents::instance().current(this) != document || !isProgramOrigin(url()))
    return;
  // The origin check runs in the page too: a document from elsewhere that
  // replaced this one never sees the calls.
  const QString script =
      QStringLiteral(
          "location.origin===\"this://app\"&&globalThis[Symbol.for(\"tidewell.runtime\")]"
          "?.deliver(%1,[%2]);")
          .arg(document)
          .arg(QString::fromUtf8(items));
  runJavaScript(script, QWebEngineScript::MainWorld);
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString &message, int line, const QString &source) {
  if (level == ErrorMessageLevel)
    std::fprintf(stderr, "js: %s (%s:%d)\n", qPrintable(message), qPrintable(source), line);
}
