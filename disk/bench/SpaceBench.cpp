// space-bench: the space map's scan of a whole tree beside du -s, gdu -n and
// ncdu -o, on generated trees of 20,000 and 200,000 files, in one run: wall
// time as min, median and max of rounds in which every contender runs once,
// in turn, warm cache, with the peak memory of each (GNU time's figure). The
// peers run at the scan's own lowered priority (nice 5), so a busy machine
// weighs on all alike.
//
//   space-bench [--rounds R] [--files N]...
//   space-bench --child FOLDER    (one scan; prints its summary)
//
// The trees (folders of 25 files, three levels deep; small files, some
// sparse ones and hard links, and one empty folder, whose scan shows what
// starting the program costs) go into a temporary folder under TMPDIR and
// are removed afterwards. A peer that is not installed is skipped with a
// message (scripts/setup.sh --bench installs them).
#include "disk/SpaceMapScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

struct Measure {
  double seconds = 0;
  long peakKiB = 0;
};

// Files of 0 to 6 KiB written whole; every 50th sparse (1 MiB long, 4 KiB
// written), every 40th a second name of the file before it.
void generate(const QString &root, int files) {
  QDir().mkpath(root + QStringLiteral("/empty"));
  const QByteArray content(6 * 1024, 'x');
  int made = 0;
  QString previous;
  for (int a = 0; made < files; ++a) {
    for (int b = 0; b < 20 && made < files; ++b) {
      const QString folder = QStringLiteral("%1/d%2/e%3").arg(root).arg(a).arg(b);
      QDir().mkpath(folder);
      for (int c = 0; c < 25 && made < files; ++c, ++made) {
        const QString path = QStringLiteral("%1/f%2.dat").arg(folder).arg(c);
        if (made % 40 == 39 && !previous.isEmpty()) {
          ::link(QFile::encodeName(previous).constData(), QFile::encodeName(path).constData());
          continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
          continue;
        if (made % 50 == 0) {
          file.write(content.left(4096));
          file.resize(1024 * 1024);
        } else {
          file.write(content.left((made * 7919) % content.size()));
        }
        previous = path;
      }
    }
  }
}

// One program, its output thrown away; peak memory from GNU time, since a
// spawned child's own figure starts at its parent's size.
Measure run(const QStringList &command) {
  const QString memoryFile = QDir::temp().filePath(QStringLiteral("space-bench-peak.txt"));
  QFile::remove(memoryFile);
  const QStringList arguments =
      QStringList({"/usr/bin/time", "-f", "%M", "-o", memoryFile}) + command;
  std::vector<QByteArray> bytes;
  for (const QString &argument : arguments)
    bytes.push_back(argument.toLocal8Bit());
  std::vector<char *> argv;
  for (QByteArray &argument : bytes)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  QElapsedTimer timer;
  timer.start();
  pid_t pid;
  Measure measure;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status;
    ::waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  measure.seconds = timer.nsecsElapsed() / 1e9;
  QFile peak(memoryFile);
  if (peak.open(QIODevice::ReadOnly))
    measure.peakKiB = peak.readAll().trimmed().split('\n').last().toLong();
  return measure;
}

// The scan as the page starts it, waited for.
int childScan(const QString &folder) {
  std::mutex mutex;
  std::condition_variable ended;
  QString summary;
  SpaceMapScanner scanner;
  scanner.startScanSpaceMap(folder, [&](const CallbackEvent &event) {
    QString type, data;
    for (const CallbackEvent::Field &field : event.fields()) {
      if (field.key == QLatin1String("type"))
        type = field.text;
      else if (field.key == QLatin1String("data"))
        data = field.text;
    }
    if (type == QLatin1String("progress"))
      return;
    const std::lock_guard<std::mutex> lock(mutex);
    summary = type + QLatin1Char(' ') + data;
    ended.notify_all();
  });
  std::unique_lock<std::mutex> lock(mutex);
  ended.wait(lock, [&] { return !summary.isEmpty(); });
  std::printf("%s\n", qPrintable(summary));
  return summary.startsWith(QLatin1String("done")) ? 0 : 1;
}

struct Contender {
  QString name;
  QStringList command; // empty: skipped
  QString note;
};

void compare(const QString &root, int files, int rounds) {
  std::printf("\n%d files, warm cache; wall seconds (min median max), peak memory\n", files);
  const QString self = QCoreApplication::applicationFilePath();
  const auto peer = [](const QString &program, const QStringList &arguments) {
    return QStandardPaths::findExecutable(program).isEmpty()
               ? QStringList()
               : QStringList({"/usr/bin/nice", "-n", "5", program}) + arguments;
  };
  const std::vector<Contender> contenders = {
      {"space map (startScanSpaceMap)", {self, "--child", root}, "both sizes, the tree kept"},
      {"du -s", peer("du", {"-s", root}), "one size, nothing kept"},
      {"gdu -n", peer("gdu", {"-n", "-p", "-c", root}), "the tree kept"},
      {"ncdu -o", peer("ncdu", {"-0", "-x", "-o", "/dev/null", root}), "the tree written out"},
      // What of the first row is the program starting, not the scan.
      {"space map, an empty folder", {self, "--child", root + "/empty"}, "start-up only"},
  };
  std::vector<std::vector<Measure>> measures(contenders.size());
  for (int r = -1; r < rounds; ++r) // round -1 warms the cache
    for (size_t c = 0; c < contenders.size(); ++c)
      if (!contenders[c].command.isEmpty() && QFile::exists(QStringLiteral("/usr/bin/time"))) {
        const Measure m = run(contenders[c].command);
        if (r >= 0)
          measures[c].push_back(m);
      }
  double ours = 0, du = 0;
  for (size_t c = 0; c < contenders.size(); ++c) {
    std::vector<Measure> &m = measures[c];
    if (m.empty()) {
      std::printf("  %-30s skipped: not installed (apt-get install -y gdu ncdu time)\n",
                  qPrintable(contenders[c].name));
      continue;
    }
    std::sort(m.begin(), m.end(),
              [](const Measure &a, const Measure &b) { return a.seconds < b.seconds; });
    long peak = 0;
    for (const Measure &one : m)
      peak = std::max(peak, one.peakKiB);
    const double median = m[m.size() / 2].seconds;
    std::printf("  %-30s %7.3f %7.3f %7.3f s %8.1f MB  %s\n", qPrintable(contenders[c].name),
                m.front().seconds, median, m.back().seconds, peak / 1024.0,
                qPrintable(contenders[c].note));
    if (c == 0)
      ours = median;
    if (c == 1)
      du = median;
  }
  if (ours > 0 && du > 0)
    std::printf("  space map / du -s: %.2f (median)\n", ours / du);
}

} // namespace

int main(int argc, char **argv) {
  // The scan needs no application object: the child is timed as du is.
  if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
    return childScan(QFile::decodeName(argv[2]));
  QCoreApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  int rounds = 5;
  QList<int> sizes;
  for (int i = 1; i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == QLatin1String("--rounds"))
      rounds = std::max(1, arguments[i + 1].toInt());
    else if (arguments[i] == QLatin1String("--files"))
      sizes.append(arguments[i + 1].toInt());
  }
  if (sizes.isEmpty())
    sizes = {20000, 200000};
  std::printf("space-bench: %d rounds\n", rounds);
  for (int files : sizes) {
    QTemporaryDir folder;
    if (!folder.isValid()) {
      std::printf("no temporary folder\n");
      return 1;
    }
    generate(folder.path(), files);
    compare(folder.path(), files, rounds);
  }
  return 0;
}
