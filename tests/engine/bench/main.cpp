// engine-bench: round trips of a no-op native method called from script,
// one call's median and 95th-percentile latency, and the time from
// SciterExec(2) to the start page's load event. Run under a display
// (xvfb-run -a build/bin/engine-bench); it starts itself once per run and
// prints the figures of every run side by side with engine-bench-peer, a
// bare Qt WebEngine page answering window.prompt.
#include "engine/archive/ArchiveWriter.h"
#include "engine/include/tidewell/engine-api.h"
#include "tests/engine/host/StaticAsset.h"
#include "tests/engine/host/TestNative.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
ISciterAPI *api = nullptr;
HSARCHIVE archive = nullptr;
Clock::time_point initAt;
double loadMs = 0;
HWINDOW mainWindow = nullptr;

const char *benchPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>bench</title></head><body>
<script>
addEventListener('load', () => {
  Bench.loaded();
  setTimeout(() => {
    const measure = (name, n, call) => {
      for (let i = 0; i < 500; i++) call();
      const times = new Float64Array(n);
      const start = performance.now();
      for (let i = 0; i < n; i++) {
        const t = performance.now();
        call();
        times[i] = performance.now() - t;
      }
      const total = performance.now() - start;
      times.sort();
      return { name, perSecond: n / (total / 1000), median: times[n >> 1] * 1000, p95: times[Math.floor(n * 0.95)] * 1000 };
    };
    const results = [
      measure('noop', 20000, () => TestNative.noop()),
      measure('echo string', 20000, () => TestNative.echo('a short string argument')),
    ];
    Bench.report(JSON.stringify(results));
  }, 200);
});
</script></body></html>)";

UINT hostCallback(SCITER_CALLBACK_NOTIFICATION *pns, void *) {
  if (pns->code != SC_LOAD_DATA)
    return 0;
  auto *load = reinterpret_cast<SCN_LOAD_DATA *>(pns);
  const QString uri = QString::fromUtf16(load->uri);
  if (!uri.startsWith("this://app/"))
    return LOAD_OK;
  const std::u16string path = uri.mid(11).toStdU16String();
  const uint8_t *data = nullptr;
  UINT size = 0;
  if (!api->SciterGetArchiveItem(archive, path.c_str(), &data, &size))
    return LOAD_DISCARD;
  api->SciterDataReady(pns->hwnd, load->uri, data, size);
  return LOAD_OK;
}

// The "Bench" object: loaded() marks the load event, report(json) prints
// the page's figures and closes the window.
BOOL32 loaded(som_asset_t *, UINT, const VALUE *, VALUE *) {
  loadMs = std::chrono::duration<double, std::milli>(Clock::now() - initAt).count();
  return true;
}
BOOL32 report(som_asset_t *, UINT, const VALUE *argv, VALUE *) {
  LPCWSTR16 chars = nullptr;
  UINT n = 0;
  api->ValueStringData(&argv[0], &chars, &n);
  std::printf("{\"load\":%.1f,\"calls\":%s}\n", loadMs,
              QString::fromUtf16(chars, static_cast<int>(n)).toUtf8().constData());
  std::fflush(stdout);
  api->SciterWindowExec(mainWindow, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_CLOSED, 0);
  return true;
}
som_method_def_t benchMethods[2];
StaticAsset benchObject;

int runOnce(int argc, char **argv) {
  api = SciterAPI();
  std::vector<std::u16string> args16;
  for (int i = 0; i < argc; ++i)
    args16.push_back(QString::fromLocal8Bit(argv[i]).toStdU16String());
  std::vector<const char16_t *> argv16;
  for (const auto &a : args16)
    argv16.push_back(a.c_str());
  initAt = Clock::now();
  api->SciterExec(SCITER_APP_INIT, argv16.size(), reinterpret_cast<uintptr_t>(argv16.data()));
  ArchiveWriter writer;
  writer.add("bench.html", benchPage);
  QByteArray bytes;
  QString error;
  writer.build(&bytes, &error);
  archive = api->SciterOpenArchive(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   static_cast<UINT>(bytes.size()));
  benchMethods[0] = {nullptr, api->SciterAtomValue("loaded"), 0, loaded};
  benchMethods[1] = {nullptr, api->SciterAtomValue("report"), 1, report};
  benchObject.passport = {0, api->SciterAtomValue("Bench"), nullptr, 0, benchMethods, 2};
  api->SciterSetGlobalAsset(&benchObject.asset);
  auto *native = new TestNative(api);
  api->SciterSetGlobalAsset(native->asset());
  mainWindow = api->SciterCreateWindow(SW_MAIN, nullptr, nullptr, nullptr, nullptr);
  api->SciterSetCallback(mainWindow, hostCallback, nullptr);
  api->SciterLoadFile(mainWindow, u"this://app/bench.html");
  api->SciterWindowExec(mainWindow, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_SHOWN, 0);
  api->SciterExec(SCITER_APP_LOOP, 0, 0);
  api->SciterExec(SCITER_APP_SHUTDOWN, 0, 0);
  return 0;
}

struct Figures {
  double load = -1;
  QJsonObject first, second;
};

Figures runChild(const QString &program, const QStringList &args) {
  QProcess child;
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  child.start(program, args);
  child.waitForFinished(120000);
  const QJsonObject result =
      QJsonDocument::fromJson(child.readAllStandardOutput().trimmed().split('\n').last()).object();
  const QJsonArray calls = result.value("calls").toArray();
  Figures figures;
  if (calls.size() == 2) {
    figures.load = result.value("load").toDouble();
    figures.first = calls.at(0).toObject();
    figures.second = calls.at(1).toObject();
  }
  return figures;
}

double warmMedian(std::vector<double> loads) {
  if (loads.size() < 2)
    return -1;
  loads.erase(loads.begin());
  std::sort(loads.begin(), loads.end());
  return loads[loads.size() / 2];
}
} // namespace

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "--run") == 0)
    return runOnce(argc, argv);

  QCoreApplication app(argc, argv);
  const QString peer = QCoreApplication::applicationDirPath() + "/engine-bench-peer";
  const int runs = 5;
  std::vector<double> engineLoads, peerLoads;
  std::printf("engine: the engine's no-op native method; peer: a bare Qt WebEngine page "
              "answering window.prompt\n");
  std::printf("%-4s | %10s %10s | %10s %9s %9s %10s | %10s %9s %9s\n", "run", "load ms", "peer ms",
              "noop/s", "median us", "p95 us", "echo/s", "peer /s", "median us", "p95 us");
  for (int run = 1; run <= runs; ++run) {
    const Figures engine = runChild(QCoreApplication::applicationFilePath(), {"--run"});
    const Figures bare = runChild(peer, {});
    if (engine.load >= 0)
      engineLoads.push_back(engine.load);
    if (bare.load >= 0)
      peerLoads.push_back(bare.load);
    std::printf("%-4d | %10.1f %10.1f | %10.0f %9.1f %9.1f %10.0f | %10.0f %9.1f %9.1f\n", run,
                engine.load, bare.load, engine.first.value("perSecond").toDouble(),
                engine.first.value("median").toDouble(), engine.first.value("p95").toDouble(),
                engine.second.value("perSecond").toDouble(),
                bare.first.value("perSecond").toDouble(), bare.first.value("median").toDouble(),
                bare.first.value("p95").toDouble());
  }
  std::printf("load event: engine cold %.1f ms, warm median %.1f ms; peer cold %.1f ms, warm "
              "median %.1f ms\n",
              engineLoads.empty() ? -1 : engineLoads.front(), warmMedian(engineLoads),
              peerLoads.empty() ? -1 : peerLoads.front(), warmMedian(peerLoads));
  return 0;
}
