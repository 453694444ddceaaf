// programs-bench: the installed programs' listing beside what the minimal
// peer does for the same answer, `dpkg-query -W` and reading the menu
// entries: min, median and max of rounds in which each runs once, in turn.
// The first listing of a round starts without the owners kept in the cache.
//
//   programs-bench [--rounds R]
#include "cleanup/InstalledPrograms.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double timed(const std::function<void()> &work) {
  QElapsedTimer timer;
  timer.start();
  work();
  return timer.nsecsElapsed() / 1e6;
}

void peer() {
  QProcess query;
  query.start(QStringLiteral("dpkg-query"), {QStringLiteral("-W")});
  query.waitForFinished(-1);
  query.readAllStandardOutput();
  const QDir menu(QStringLiteral("/usr/share/applications"));
  for (const QString &entry : menu.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
    QFile file(menu.filePath(entry));
    if (file.open(QIODevice::ReadOnly))
      file.readAll();
  }
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int at = args.indexOf(QStringLiteral("--rounds"));
  const int rounds = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 15;
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        QStringLiteral("/Tidewell/package-owners");
  const char *names[] = {"getInstalledPrograms, first", "getInstalledPrograms, again",
                         "dpkg-query -W + menu entries"};
  std::vector<double> figures[3];
  for (int round = 0; round < rounds; ++round) {
    QFile::remove(cache);
    InstalledPrograms programs;
    figures[0].push_back(timed([&] { programs.getInstalledPrograms(); }));
    figures[1].push_back(timed([&] { programs.getInstalledPrograms(); }));
    figures[2].push_back(timed(peer));
  }
  std::printf("installed programs (%d rounds)          min     median  max (ms)\n", rounds);
  for (int i = 0; i < 3; ++i) {
    std::sort(figures[i].begin(), figures[i].end());
    std::printf("  %-36s %7.1f %7.1f %7.1f\n", names[i], figures[i].front(),
                figures[i][figures[i].size() / 2], figures[i].back());
  }
  return 0;
}
