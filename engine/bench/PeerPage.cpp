// The peer of engine-bench: a bare Qt WebEngine page, with the same
// measurements: time from process start to the load event, and window.prompt
// round trips answered by an overridden javaScriptPrompt, back to back and in
// bursts. Prints one JSON line in engine-bench's child format.
#include <QApplication>
#include <QElapsedTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
const char *page = R"(<!DOCTYPE html><html><body><script>
addEventListener('load', () => setTimeout(() => {
  const n = 20000;
  for (let i = 0; i < 500; i++) prompt('{}', 'x');
  const times = new Float64Array(n);
  const start = performance.now();
  for (let i = 0; i < n; i++) { const t = performance.now(); prompt('{}', 'x'); times[i] = performance.now() - t; }
  const total = performance.now() - start;
  times.sort();
  const r = { name: 'bare prompt', perSecond: n / (total / 1000), median: times[n >> 1] * 1000, p95: times[Math.floor(n * 0.95)] * 1000 };
  // Then in bursts of 20 calls 5 ms apart, as a page taking calls between
  // the time slices of its own work sees them.
  const burst = [];
  const next = () => {
    for (let i = 0; i < 20; i++) { const t = performance.now(); prompt('{}', 'x'); burst.push(performance.now() - t); }
    if (burst.length < 10000) return setTimeout(next, 5);
    burst.sort((a, b) => a - b);
    prompt('done', JSON.stringify({ calls: [r, r], bursts: { median: burst[burst.length >> 1] * 1000 } }));
  };
  next();
}, 200));
</script></body></html>)";

class PromptPage : public QWebEnginePage {
public:
  PromptPage(QWebEngineView *view, QElapsedTimer *clock) : QWebEnginePage(view), clock(clock) {
    connect(this, &QWebEnginePage::loadFinished,
            [this] { loadMs = this->clock->nsecsElapsed() / 1e6; });
  }

protected:
  bool javaScriptPrompt(const QUrl &, const QString &message, const QString &value,
                        QString *result) override {
    if (message == "done") {
      // value: {"calls":...,"bursts":...}, joined to the load time.
      std::printf("{\"load\":%.1f,%s\n", loadMs, qPrintable(value.mid(1)));
      std::fflush(stdout);
      QApplication::quit();
    }
    *result = "[1]";
    return true;
  }

private:
  QElapsedTimer *clock;
  double loadMs = 0;
};
} // namespace

int main(int argc, char **argv) {
  QElapsedTimer clock;
  clock.start();
  if (geteuid() == 0)
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QWebEngineView view;
  auto *prompts = new PromptPage(&view, &clock);
  view.setPage(prompts);
  view.setHtml(page);
  view.show();
  const int code = app.exec();
  view.setPage(nullptr);
  delete prompts;
  return code;
}
