// Downloads a 200 MB body from the local test service and prints the time
// and the process's peak memory beside curl for the same body: the body
// streams to disk, so the peak stays near the process's size before it.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#include "online/UpdateDownloader.h"
#include "tests/online/OnlineTestSupport.h"

namespace {

qint64 statusKiB(const char *field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly))
    return -1;
  for (const QByteArray &line : status.readAll().split('\n')) {
    if (line.startsWith(field))
      return line.mid(qstrlen(field)).simplified().split(' ').value(0).toLongLong();
  }
  return -1;
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const qint64 size = 200LL * 1024 * 1024;
  TestService service;
  QTemporaryDir dir;
  if (!service.isRunning() || !dir.isValid())
    return 1;
  const QString url = service.url(QStringLiteral("/files/bench.bin?size=%1").arg(size));

  const qint64 before = statusKiB("VmRSS:");
  UpdateDownloader downloader;
  QString outcome;
  QElapsedTimer clock;
  clock.start();
  downloader.downloadUpdate(url, dir.filePath("bench.bin"), [&](const CallbackEvent &event) {
    if (event.fields().first().text != QLatin1String("progress"))
      outcome = event.fields().first().text;
  });
  spinUntil([&] { return !outcome.isEmpty(); }, 600000);
  const qint64 ours = clock.elapsed();
  std::printf("download of 200 MB: %s in %lld ms; memory before %lld KiB, peak %lld KiB\n",
              qPrintable(outcome), ours, before, statusKiB("VmHWM:"));

  clock.restart();
  const int curl =
      QProcess::execute(QStringLiteral("curl"), {"-s", "-o", dir.filePath("curl.bin"), url});
  std::printf("curl, same body: exit %d in %lld ms\n", curl, clock.elapsed());
  return outcome == QLatin1String("done") ? 0 : 1;
}
