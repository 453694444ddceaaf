#pragma once
// A window's page: the synchronous script bridge (window.prompt carrying
// the per-run token, accepted only from the program's own origin) and the
// delivery of queued calls into the current document. Chromium cuts prompt
// texts at 10 KiB, so longer messages arrive as several parts.
//
// The page is the program's, not a browser's: a main-frame navigation away
// from this://app is refused (a click on an http or https link opens the
// user's browser instead), history navigation is refused, and a renderer
// that dies ends the program.
#include <QWebEnginePage>

#include <functional>

class EngineWindow;

class EnginePage : public QWebEnginePage {
public:
  EnginePage(QWebEngineProfile *profile, EngineWindow *window);
  ~EnginePage() override;
  EngineWindow *window() const { return owner; }
  // Runs the queued items (a comma-separated list of JSON arrays) in the
  // document, if it is still the page's current one.
  // ran, if given, learns whether the items did run there.
  void deliver(uint64_t document, const QByteArray &items, std::function<void(bool)> ran = {});
  static bool isProgramOrigin(const QUrl &url);
  // http and https only, in the user's browser.
  static bool openInBrowser(const QUrl &url);

protected:
  bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
  bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message,
                        const QString &defaultValue, QString *result) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                int line, const QString &source) override;

private:
  EngineWindow *owner;
  void rendererTerminated(RenderProcessTerminationStatus status, int exitCode);

  QString pendingMessage; // leading parts of a message too long for one prompt
};
