#include "engine/src/EnginePage.h"

#include "engine/src/Bridge.h"
#include "engine/src/Documents.h"
#include "engine/src/Engine.h"
#include "engine/src/EngineWindow.h"

#include <QDesktopServices>
#include <QWebEngineScript>

#include <cstdio>

namespace {
const QString bridgeMarker = QStringLiteral("\x01tidewell-bridge:");
// A long message comes as parts: each but the last starts with partMarker,
// the last with lastPartMarker. A message without either stands alone, so
// parts left by a document that went never reach the next one.
const QChar partMarker(0x02);
const QChar lastPartMarker(0x03);
} // namespace

EnginePage::EnginePage(QWebEngineProfile *profile, EngineWindow *window)
    : QWebEnginePage(profile, window), owner(window) {
  connect(this, &QWebEnginePage::renderProcessTerminated, this, &EnginePage::rendererTerminated);
}

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
  if (message.startsWith(lastPartMarker)) {
    *result = Bridge::handle(this, pendingMessage + message.midRef(1));
  } else {
    *result = Bridge::handle(this, message);
  }
  pendingMessage.clear();
  return true;
}

bool EnginePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) {
  if (!isMainFrame)
    return true; // frames stay inside the page, without the bridge
  if (type == NavigationTypeBackForward)
    return false; // the pages keep no history a mouse button should step through
  if (isProgramOrigin(url))
    return true;
  // A user's click on a web link reaches openUrl through the runtime instead.
  std::fprintf(stderr, "tidewell-engine: refused to leave the program for %s\n",
               qPrintable(url.toDisplayString()));
  return false;
}

bool EnginePage::openInBrowser(const QUrl &url) {
  const QString scheme = url.scheme();
  return url.isValid() && (scheme == "http" || scheme == "https") && QDesktopServices::openUrl(url);
}

void EnginePage::rendererTerminated(RenderProcessTerminationStatus status, int exitCode) {
  if (status == NormalTerminationStatus)
    return;
  // A frameless window without its renderer is invisible and can never be
  // closed: the program ends instead of lingering.
  static const char *const kinds[] = {"ended", "ended abnormally", "crashed", "was killed"};
  std::fprintf(stderr, "tidewell-engine: the renderer process of %s %s (exit code %d)\n",
               qPrintable(url().toString()), kinds[status], exitCode);
  pendingMessage.clear();
  Engine::instance().fail(1);
}

void EnginePage::deliver(uint64_t document, const QByteArray &items,
                         std::function<void(bool)> ran) {
  if (Documents::instance().current(this) != document || !isProgramOrigin(url())) {
    if (ran)
      ran(false);
    return;
  }
  // The origin check runs in the page too: a document from elsewhere that
  // replaced this one never sees the calls.
  const QString script =
      QStringLiteral(
          "location.origin===\"this://app\"&&globalThis[Symbol.for(\"tidewell.runtime\")]"
          "?.deliver(%1,[%2])===true;")
          .arg(document)
          .arg(QString::fromUtf8(items));
  if (!ran) {
    runJavaScript(script, QWebEngineScript::MainWorld);
    return;
  }
  // The answer comes back once the items have run in the renderer.
  runJavaScript(script, QWebEngineScript::MainWorld,
                [ran](const QVariant &result) { ran(result.toBool()); });
}

void EnginePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                          const QString &message, int line, const QString &source) {
  if (level == ErrorMessageLevel)
    std::fprintf(stderr, "js: %s (%s:%d)\n", qPrintable(message), qPrintable(source), line);
}
