#pragma once
// A window's page: the synchronous script bridge (window.prompt carrying
// the per-run token, accepted only from the program's own origin) and the
// delivery of queued calls into the current document. Chromium cuts prompt
// texts at 10 KiB, so longer messages arrive as several parts.
#include <QWebEnginePage>

class EngineWindow;

class EnginePage : public QWebEnginePage {
public:
  EnginePage(QWebEngineProfile *profile, EngineWindow *window);
  ~EnginePage() override;
  EngineWindow *window() const { return owner; }
  // Runs the queued items (a comma-separated list of JSON arrays) in the
  // document, if it is still the page's current one.
  void deliver(uint64_t document, const QByteArray &items);
  static bool isProgramOrigin(const QUrl &url);

protected:
  bool javaScriptPrompt(const QUrl &securityOrigin, const QString &message,
                        const QString &defaultValue, QString *result) override;
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                int line, const QString &source) override;

private:
  EngineWindow *owner;
  QString pendingMessage; // leading parts of a message too long for one prompt
};
