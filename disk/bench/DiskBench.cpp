// disk-bench: the duplicate finder, the large-file scan and a full listing
// (threshold 0) against peer tools (jdupes, fdupes, rmlint, rdfind, find,
// find -printf | sort) on a generated tree and on /usr: wall time as min,
// median and max of rounds in which every contender runs once, in turn, so a
// slow spell of the machine falls on all alike, with processor time and peak
// memory beside it. The duplicate search runs with an empty digest cache (a
// first search) and with the cache an earlier search filled (searched
// again). Then the background scans against the same peers, and how much a
// processor-bound job on every core slows down while one runs.
//
//   disk-bench [--files N] [--rounds R] [--cold] [--keep DIR]
//   disk-bench --child-duplicates|--child-large|--child-list FOLDER
//   disk-bench --same-size       (the background scan of same-size files only)
//
// The --child modes run one scan and write its result text to the standard
// output, as the benchmark's own process does for its figures; they also let
// the bytes of two versions be compared.
// The tree (about 20,000 files, 1.5 GB by default; --files 200000 for the
// large size) goes into a temporary folder under TMPDIR and is removed
// afterwards, or into DIR, where it stays and is reused when DIR already
// exists. --cold adds the same comparisons with the page cache dropped before
// every run, where the machine lets us (root, /proc/sys/vm/drop_caches).
#include "disk/DuplicateFileFinder.h"
#include "disk/FileDigest.h"
#include "disk/LargeFileScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

constexpr qint64 KiB = 1024, MiB = 1024 * KiB;
constexpr int runs = 3; // the one-core digest figures only
int rounds = 5;
constexpr int sameSizeFiles = 40000;
// About what the processor-bound job takes alone, in seconds.
constexpr double jobSeconds = 1.5;

struct TreeStats {
  int files = 0;
  qint64 bytes = 0;
  int sharingSize = 0;
  qint64 sharingBytes = 0;
};

// Content is a function of (seed, size): a copy repeats both, a same-size
// file with other content takes another seed, and a "near copy" changes the
// last byte only, so its first 4 KiB match.
void fill(QByteArray &buffer, quint64 seed, qint64 size, bool nearCopy) {
  buffer.resize(int(size));
  quint64 x = seed * 0x9E3779B97F4A7C15ull + 1;
  auto *words = reinterpret_cast<quint64 *>(buffer.data());
  const qint64 count = size / 8;
  for (qint64 i = 0; i < count; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    words[i] = x;
  }
  for (qint64 i = count * 8; i < size; ++i)
    buffer[int(i)] = char(seed + i);
  if (nearCopy)
    buffer[int(size - 1)] = char(~buffer[int(size - 1)]);
}

TreeStats statsOf(const QString &root) {
  TreeStats stats;
  std::map<qint64, int> sizes;
  const QJsonArray list =
      QJsonDocument::fromJson(LargeFileScanner().scanLargeFiles(root, 0).toUtf8())
          .object()["list"]
          .toArray();
  for (const QJsonValue &item : list) {
    const qint64 size = qint64(item.toObject()["size"].toDouble());
    ++sizes[size];
    ++stats.files;
    stats.bytes += size;
  }
  for (const auto &[size, count] : sizes) {
    if (count >= 2) {
      stats.sharingSize += count;
      stats.sharingBytes += size * count;
    }
  }
  return stats;
}

void generate(const QString &root, int fileCount) {
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit(0, 1);
  const auto logUniform = [&](double low, double high) {
    return qint64(std::exp(std::log(low) + unit(random) * (std::log(high) - std::log(low))));
  };
  struct Made {
    quint64 seed;
    qint64 size;
  };
  std::vector<Made> made;
  QByteArray buffer;
  const int largeEvery = 250; // 80 of 20,000 files from 1 MiB to 50 MiB
  for (int i = 0; i < fileCount; ++i) {
    const double kind = unit(random);
    Made file{quint64(i) + 1, 0};
    bool nearCopy = false;
    if (!made.empty() && kind < 0.15) { // a copy of an earlier file
      file = made[random() % made.size()];
    } else if (!made.empty() && kind < 0.20) { // same size, other content
      nearCopy = unit(random) < 0.5;
      if (nearCopy) // same first 4 KiB too
        file = made[random() % made.size()];
      else
        file.size = made[random() % made.size()].size;
    } else {
      file.size =
          i % largeEvery == 0 ? logUniform(1 * MiB, 50 * MiB) : logUniform(1 * KiB, 128 * KiB);
    }
    const QString folder = QStringLiteral("%1/d%2/e%3").arg(root).arg(i % 40).arg((i / 40) % 10);
    if (i < 400)
      QDir().mkpath(folder);
    fill(buffer, file.seed, file.size, nearCopy);
    QFile out(QStringLiteral("%1/f%2.bin").arg(folder).arg(i));
    if (!out.open(QIODevice::WriteOnly) || out.write(buffer) != buffer.size()) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(out.fileName()));
      std::exit(1);
    }
    if (!nearCopy)
      made.push_back(file);
  }
}

struct Measure {
  double seconds = 1e9;  // wall clock
  double cpuSeconds = 0; // user and system, all threads
  long peakKiB = 0;
};

double cpuSecondsOf(const struct rusage &usage) {
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

// Runs a pipeline of programs (each one's output into the next one's input,
// no shell), the last one's output thrown away. Times from wait4, summed over
// the programs, the wall clock until the last one ended; peak memory from GNU
// time, since a spawned child's own figure starts at its parent's size, summed
// too, since the programs of a pipeline run side by side.
Measure runPipeline(const QList<QStringList> &commands, const QString &workingFolder) {
  const QString cwd = QDir::currentPath();
  QDir::setCurrent(workingFolder);
  QElapsedTimer timer;
  timer.start();
  std::vector<pid_t> children;
  QStringList memoryFiles;
  int input = -1;
  for (int c = 0; c < commands.size(); ++c) {
    const QString memoryFile =
        QStringLiteral("%1/disk-bench-peak-%2.txt").arg(QDir::tempPath()).arg(c);
    QFile::remove(memoryFile);
    memoryFiles.append(memoryFile);
    const QStringList arguments =
        QStringList({"/usr/bin/time", "-f", "%M", "-o", memoryFile}) + commands[c];
    std::vector<QByteArray> bytes;
    for (const QString &argument : arguments)
      bytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
      argv.push_back(argument.data());
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    const bool last = c + 1 == commands.size();
    if (!last && ::pipe2(pipeFds, O_CLOEXEC) != 0)
      break;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
      posix_spawn_file_actions_adddup2(&actions, input, 0);
    if (last)
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
      posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
      children.push_back(pid);
    posix_spawn_file_actions_destroy(&actions);
    if (input >= 0)
      ::close(input);
    input = pipeFds[0];
    if (pipeFds[1] >= 0)
      ::close(pipeFds[1]);
  }
  if (input >= 0)
    ::close(input);
  Measure measure;
  measure.seconds = 0;
  for (const pid_t pid : children) {
    int status;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    measure.cpuSeconds += cpuSecondsOf(usage);
  }
  measure.seconds = timer.nsecsElapsed() / 1e9;
  for (const QString &memoryFile : memoryFiles) {
    QFile peak(memoryFile);
    if (peak.open(QIODevice::ReadOnly))
      measure.peakKiB += peak.readAll().trimmed().split('\n').last().toLong();
  }
  QDir::setCurrent(cwd);
  return measure;
}

Measure runProgram(const QStringList &command, const QString &workingFolder) {
  return runPipeline({command}, workingFolder);
}

Measure bestOf(const std::function<Measure()> &once) {
  Measure best;
  for (int i = 0; i < runs; ++i) {
    const Measure m = once();
    if (m.seconds < best.seconds)
      best = m;
  }
  return best;
}

// Empties the page cache; false when the machine does not let us.
bool dropCaches() {
  ::sync();
  QFile control("/proc/sys/vm/drop_caches");
  return control.open(QIODevice::WriteOnly) && control.write("3\n") == 2;
}

struct Contender {
  QString name;
  std::function<Measure()> run;
  QString note;
};

// Every contender once per round, in turn; each one's measures.
std::vector<std::vector<Measure>> alternate(const std::vector<Contender> &contenders, bool cold) {
  std::vector<std::vector<Measure>> measures(contenders.size());
  for (int r = 0; r < rounds; ++r) {
    for (size_t c = 0; c < contenders.size(); ++c) {
      if (cold)
        dropCaches();
      measures[c].push_back(contenders[c].run());
    }
  }
  return measures;
}

Measure timeCall(const std::function<void()> &call) {
  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  QElapsedTimer timer;
  timer.start();
  call();
  const double seconds = timer.nsecsElapsed() / 1e9;
  getrusage(RUSAGE_SELF, &after);
  return {seconds, cpuSecondsOf(after) - cpuSecondsOf(before), 0};
}

// Peak memory of one call, measured in a child process of its own.
long peakOfChild(const QString &mode, const QString &folder) {
  const QString self = QCoreApplication::applicationFilePath();
  return runProgram({self, mode, folder}, QDir::tempPath()).peakKiB;
}

int parseList(const QString &json) {
  return QJsonDocument::fromJson(json.toUtf8()).object()["list"].toArray().size();
}

int countGroups(const QString &json, int *files) {
  const QJsonArray groups = QJsonDocument::fromJson(json.toUtf8()).object()["groups"].toArray();
  *files = 0;
  for (const QJsonValue &group : groups)
    *files += group.toObject()["files"].toArray().size();
  return groups.size();
}

// Duplicate sets in the output of fdupes-style tools: blank-line separated.
int countPeerGroups(const QStringList &arguments) {
  QProcess process;
  process.start(arguments.first(), arguments.mid(1));
  process.waitForFinished(-1);
  int groups = 0;
  bool inGroup = false;
  for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
    if (line.trimmed().isEmpty()) {
      inGroup = false;
    } else if (!inGroup) {
      inGroup = true;
      ++groups;
    }
  }
  return groups;
}

// A background scan from start to its end message: the end data, the
// seconds it took and the number of progress messages.
QString runAsync(const std::function<int(ScriptCallback)> &start, double *seconds,
                 int *progressMessages = nullptr) {
  std::mutex mutex;
  std::condition_variable ended;
  QString endData;
  int progress = 0;
  QElapsedTimer timer;
  timer.start();
  start([&](const CallbackEvent &event) {
    std::lock_guard<std::mutex> lock(mutex);
    const QString type = event.fields().first().text;
    if (type == "progress") {
      ++progress;
    } else {
      endData = event.fields().last().text;
      ended.notify_all();
    }
  });
  std::unique_lock<std::mutex> lock(mutex);
  ended.wait(lock, [&] { return !endData.isEmpty(); });
  *seconds = timer.nsecsElapsed() / 1e9;
  if (progressMessages)
    *progressMessages = progress;
  return endData;
}

// Digest caches for the searches: a new, empty one for each first search,
// or the one an earlier search filled. Children inherit the choice.
class CacheFolders {
public:
  void useEmpty() { use(QStringLiteral("%1/empty-%2").arg(root_.path()).arg(++made_)); }
  void useKept() { use(root_.path() + QStringLiteral("/kept")); }

private:
  static void use(const QString &folder) { qputenv("XDG_CACHE_HOME", folder.toLocal8Bit()); }
  QTemporaryDir root_{QDir::tempPath() + "/disk-bench-caches-XXXXXX"};
  int made_ = 0;
};

// A peer missing from this machine is left out, with a message.
bool have(const QString &tool) {
  if (!QStandardPaths::findExecutable(tool).isEmpty())
    return true;
  std::printf("  (%s is not installed: scripts/setup.sh --bench installs it)\n", qPrintable(tool));
  return false;
}

// SHA-256 of memory on every core, the same work each time: seconds.
double foregroundJob(int rounds) {
  std::vector<std::thread> threads;
  QElapsedTimer timer;
  timer.start();
  for (int t = 0; t < int(std::max(1u, std::thread::hardware_concurrency())); ++t) {
    threads.emplace_back([rounds] {
      const QByteArray data(int(8 * MiB), 'j');
      EVP_MD_CTX *context = EVP_MD_CTX_new();
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int length;
      for (int r = 0; r < rounds; ++r) {
        EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
        EVP_DigestUpdate(context, data.constData(), size_t(data.size()));
        EVP_DigestFinal_ex(context, digest, &length);
      }
      EVP_MD_CTX_free(context);
    });
  }
  for (std::thread &thread : threads)
    thread.join();
  return timer.nsecsElapsed() / 1e9;
}

// The job's seconds while scan runs again and again beside it.
double jobWhile(const std::function<void()> &scan, int rounds, int *scans) {
  std::atomic<bool> done{false};
  std::atomic<int> count{0};
  std::thread scanner([&] {
    while (!done) {
      scan();
      ++count;
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the scan under way
  const double seconds = foregroundJob(rounds);
  done = true;
  scanner.join();
  *scans = count;
  return seconds;
}

// Wall time as min, median and max; processor time as the median; the
// highest peak.
void row(const QString &name, std::vector<Measure> measures, const QString &note) {
  std::sort(measures.begin(), measures.end(),
            [](const Measure &a, const Measure &b) { return a.seconds < b.seconds; });
  std::vector<double> cpu;
  long peak = 0;
  for (const Measure &m : measures) {
    cpu.push_back(m.cpuSeconds);
    peak = std::max(peak, m.peakKiB);
  }
  std::sort(cpu.begin(), cpu.end());
  const size_t middle = measures.size() / 2;
  std::printf("  %-34s %7.3f %7.3f %7.3f s wall %7.3f s cpu", qPrintable(name),
              measures.front().seconds, measures[middle].seconds, measures.back().seconds,
              cpu[middle]);
  if (peak)
    std::printf(" %7.1f MB peak", peak / 1024.0);
  std::printf("  %s\n", qPrintable(note));
}

void printRows(const std::vector<Contender> &contenders, bool cold) {
  std::printf("  %-34s %7s %7s %7s\n", "", "min", "median", "max");
  const auto measures = alternate(contenders, cold);
  for (size_t c = 0; c < contenders.size(); ++c)
    row(contenders[c].name, measures[c], contenders[c].note);
}

void printLoad() {
  QFile load("/proc/loadavg");
  load.open(QIODevice::ReadOnly);
  std::printf("(load average now: %s)\n", load.readAll().trimmed().constData());
}

// One core, 64 MiB in memory: MB/s by the wall clock and by this thread's CPU time.
std::pair<double, double> sha256InMemory() {
  QByteArray data(int(64 * MiB), 'x');
  EVP_MD_CTX *context = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length;
  double bestWall = 1e9, bestCpu = 1e9;
  for (int r = 0; r < runs; ++r) {
    timespec cpuStart, cpuEnd;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    QElapsedTimer timer;
    timer.start();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (int i = 0; i < data.size(); i += int(MiB))
      EVP_DigestUpdate(context, data.constData() + i, size_t(MiB));
    EVP_DigestFinal_ex(context, digest, &length);
    bestWall = std::min(bestWall, timer.nsecsElapsed() / 1e9);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    bestCpu = std::min(bestCpu, (cpuEnd.tv_sec - cpuStart.tv_sec) +
                                    (cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9);
  }
  EVP_MD_CTX_free(context);
  return {data.size() / bestWall / 1e6, data.size() / bestCpu / 1e6};
}

// A background scan of many files of one size beside jdupes: the work grows
// with what each file costs.
void sameSizeScan() {
  std::printf("\nbackground duplicate scan of %d empty files in one folder (%d rounds)\n",
              sameSizeFiles, rounds);
  QTemporaryDir folder(QDir::tempPath() + "/disk-bench-same-XXXXXX");
  for (int i = 0; i < sameSizeFiles; ++i)
    QFile(QStringLiteral("%1/e%2").arg(folder.path()).arg(i)).open(QIODevice::WriteOnly);
  DuplicateFileFinder finder;
  CacheFolders caches;
  QString note;
  std::vector<Contender> contenders = {
      {"startScanDuplicateFiles",
       [&] {
         caches.useEmpty();
         double seconds = 0;
         QString data;
         Measure m = timeCall([&] {
           data = runAsync(
               [&](ScriptCallback callback) {
                 return finder.startScanDuplicateFiles(folder.path(), std::move(callback));
               },
               &seconds);
         });
         int files = 0;
         const int groups = countGroups(data, &files);
         note = QStringLiteral("%1 group of %2 files").arg(groups).arg(files);
         return m;
       },
       ""}};
  if (have("jdupes"))
    contenders.push_back(
        {"jdupes -r -q",
         [&] {
           return runProgram({"jdupes", "-r", "-q", folder.path()}, QDir::tempPath());
         },
         ""});
  printRows(contenders, false);
  std::printf("  (%s)\n", qPrintable(note));
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  // Child modes for the figures of a process of its own; each writes the
  // result text as the programs it is compared with write theirs, and lets
  // the bytes of one version be compared with those of another.
  if (args.size() == 3 && args[1].startsWith("--child-")) {
    QString text;
    if (args[1] == "--child-duplicates")
      text = DuplicateFileFinder().findDuplicateFiles(args[2]);
    else if (args[1] == "--child-large")
      text = LargeFileScanner().scanLargeFiles(args[2], float(MiB));
    else if (args[1] == "--child-list")
      text = LargeFileScanner().scanLargeFiles(args[2], 0);
    else
      return 2;
    // In pieces, so the output costs no second copy of the text.
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    for (int at = 0, piece; at < text.size(); at += piece) {
      piece = std::min(text.size() - at, 1 << 16);
      if (text.at(at + piece - 1).isHighSurrogate() && at + piece < text.size())
        ++piece; // a pair stays whole
      out.write(text.midRef(at, piece).toUtf8());
    }
    return 0;
  }
  if (args.size() == 2 && args[1] == "--same-size") {
    sameSizeScan();
    return 0;
  }
  int fileCount = 20000;
  QString keep;
  bool coldWanted = false;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--cold")
      coldWanted = true;
    else if (args[i] == "--files" && i + 1 < args.size())
      fileCount = args[++i].toInt();
    else if (args[i] == "--rounds" && i + 1 < args.size())
      rounds = std::max(5, args[++i].toInt());
    else if (args[i] == "--keep" && i + 1 < args.size())
      keep = args[++i];
  }

  QTemporaryDir temporary(QDir::tempPath() + "/disk-bench-XXXXXX");
  const QString root = keep.isEmpty() ? temporary.path() + "/tree" : keep;
  std::printf("generating %d files under %s ...\n", fileCount, qPrintable(root));
  QElapsedTimer generation;
  generation.start();
  // A kept tree is made once and reused by later runs.
  const bool reuse = !keep.isEmpty() && QFileInfo::exists(keep);
  if (!reuse)
    generate(root, fileCount);
  const TreeStats stats = statsOf(root);
  std::printf("tree: %d files, %.2f GB; %d files share a size (%.0f MB); made in %.1f s\n\n",
              stats.files, stats.bytes / 1e9, stats.sharingSize, stats.sharingBytes / 1e6,
              generation.nsecsElapsed() / 1e9);
  ::sync();

  // The page cache warm: every file read once. The digest cache filled by a
  // search begun two seconds after the last change (it keeps no file changed
  // less than that before a search).
  CacheFolders caches;
  DuplicateFileFinder finder;
  caches.useEmpty();
  QString ours = finder.findDuplicateFiles(root);
  for (const QString tool : {"fdupes", "jdupes"}) {
    if (!QStandardPaths::findExecutable(tool).isEmpty())
      runProgram({tool, "-r", "-q", root}, QDir::tempPath());
  }
  if (!reuse)
    std::this_thread::sleep_for(std::chrono::seconds(2));
  caches.useKept();
  const bool sameWithCache =
      finder.findDuplicateFiles(root) == ours && finder.findDuplicateFiles(root) == ours;

  int ourFiles = 0;
  const int ourGroups = countGroups(ours, &ourFiles);
  caches.useEmpty();
  const long ourPeak = peakOfChild("--child-duplicates", root);
  const QString self = QCoreApplication::applicationFilePath();
  // Our search with an empty cache and with the kept one, then the peers:
  // on the generated tree all of them, on a real one the fastest.
  const auto duplicatesOf = [&](const QString &folder, bool generated, const QString &ourNote) {
    const bool inProcess = generated;
    std::vector<Contender> contenders;
    if (inProcess)
      contenders.push_back({"findDuplicateFiles (in process)",
                            [&, folder] {
                              caches.useEmpty();
                              Measure m =
                                  timeCall([&] { ours = finder.findDuplicateFiles(folder); });
                              m.peakKiB = ourPeak;
                              return m;
                            },
                            ourNote});
    contenders.push_back(
        {"findDuplicateFiles (own process)",
         [&, folder] {
           caches.useEmpty();
           return runProgram({self, "--child-duplicates", folder}, QDir::tempPath());
         },
         inProcess ? "" : ourNote});
    contenders.push_back(
        {"  searched again (own process)",
         [&, folder] {
           caches.useKept();
           return runProgram({self, "--child-duplicates", folder}, QDir::tempPath());
         },
         "the digest cache of an earlier search"});
    for (const QString tool : {"jdupes", "fdupes"}) {
      if ((generated || tool == "jdupes") && have(tool))
        contenders.push_back(
            {tool + " -r -q",
             [tool, folder] {
               return runProgram({tool, "-r", "-q", folder}, QDir::tempPath());
             },
             QStringLiteral("%1 groups").arg(countPeerGroups({tool, "-r", "-q", folder}))});
    }
    if (have("rdfind"))
      contenders.push_back(
          {"rdfind -makeresultsfile false",
           [folder] {
             return runProgram({"rdfind", "-makeresultsfile", "false", folder}, QDir::tempPath());
           },
           ""});
    if (generated && have("rmlint"))
      contenders.push_back({"rmlint",
                            [folder] {
                              // rmlint writes its reports into the working folder
                              QTemporaryDir reports;
                              return runProgram({"rmlint", folder}, reports.path());
                            },
                            ""});
    return contenders;
  };
  const std::vector<Contender> duplicates =
      duplicatesOf(root, true,
                   QStringLiteral("%1 groups, %2 files; the same text with the cache: %3")
                       .arg(ourGroups)
                       .arg(ourFiles)
                       .arg(sameWithCache ? "yes" : "NO"));
  const QString realTree = QStringLiteral("/usr");
  const bool realTreeThere = QFileInfo(realTree).isDir();
  std::vector<Contender> realDuplicates;
  if (realTreeThere) {
    caches.useKept(); // filled once for the rows searched again
    const QString text = finder.findDuplicateFiles(realTree);
    int files = 0;
    const int groups = countGroups(text, &files);
    realDuplicates =
        duplicatesOf(realTree, false, QStringLiteral("%1 groups, %2 files").arg(groups).arg(files));
  }

  const qint64 minimum = MiB;
  LargeFileScanner scanner;
  int found = 0;
  const long largePeak = peakOfChild("--child-large", root);
  const std::vector<Contender> large = {
      {"scanLargeFiles (in process)",
       [&] {
         Measure m = timeCall([&] {
           const QString text = scanner.scanLargeFiles(root, float(minimum));
           found = QJsonDocument::fromJson(text.toUtf8()).object()["list"].toArray().size();
         });
         m.peakKiB = largePeak;
         return m;
       },
       ""},
      {QStringLiteral("find -type f -size +%1c").arg(minimum - 1),
       [&] {
         return runProgram(
             {"find", root, "-type", "f", "-size", QStringLiteral("+%1c").arg(minimum - 1)},
             QDir::tempPath());
       },
       ""}};
  // Every file with its fields, largest first: what a listing at threshold 0
  // gives, beside find printing the same fields and sort ordering them.
  const std::vector<Contender> listing = {
      {"scanLargeFiles, threshold 0 (own process)",
       [&] {
         return runProgram({self, "--child-list", root}, QDir::tempPath());
       },
       ""},
      {"find -printf | sort -rn",
       [&] {
         return runPipeline(
             {{"find", root, "-type", "f", "-printf", "%s\t%TY-%Tm-%Td %TH:%TM\t%f\t%p\n"},
              {"sort", "-rn"}},
             QDir::tempPath());
       },
       ""}};

  for (const bool cold : {false, true}) {
    if (cold && !coldWanted)
      break;
    if (cold && !dropCaches()) {
      std::printf("\ncold cache: skipped (dropping the page cache needs root)\n");
      break;
    }
    const char *cache = cold ? "cold cache, dropped before every run" : "warm cache";
    printLoad();
    std::printf("duplicates (%d rounds, %s)\n", rounds, cache);
    printRows(duplicates, cold);
    if (realTreeThere) {
      std::printf("\nduplicates in %s (%d rounds, %s)\n", qPrintable(realTree), rounds, cache);
      printRows(realDuplicates, cold);
    }
    std::printf("\nlarge files of at least %lld bytes (%d rounds, %s)\n", minimum, rounds, cache);
    printRows(large, cold);
    std::printf("  (scanLargeFiles found %d files)\n\n", found);
    std::printf("full listing, every file largest first (%d rounds, %s)\n", rounds, cache);
    printRows(listing, cold);
    std::printf("\n");
  }

  // The background scans as the page starts them, each with an empty digest
  // cache, beside the peers; the whole file system for the large files.
  const auto duplicateScan = [&](const QString &folder) {
    caches.useEmpty();
    double seconds = 0;
    return runAsync(
        [&](ScriptCallback callback) {
          return finder.startScanDuplicateFiles(folder, std::move(callback));
        },
        &seconds);
  };
  const auto largeScan = [&](const QString &folder) {
    double seconds = 0;
    return runAsync(
        [&](ScriptCallback callback) {
          return scanner.startScanLargeFiles(folder, float(minimum), std::move(callback));
        },
        &seconds);
  };
  QString asyncText;
  std::vector<Contender> background = {
      {"startScanDuplicateFiles",
       [&] { return timeCall([&] { asyncText = duplicateScan(root); }); }, ""}};
  if (have("jdupes"))
    background.push_back({"jdupes -r -q",
                          [&] {
                            return runProgram({"jdupes", "-r", "-q", root}, QDir::tempPath());
                          },
                          ""});
  const QString findSize = QStringLiteral("+%1c").arg(minimum - 1);
  int largeFound = 0, wholeFound = 0;
  const QString whole = QStringLiteral("/");
  background.push_back({"startScanLargeFiles",
                        [&] { return timeCall([&] { largeFound = parseList(largeScan(root)); }); },
                        ""});
  background.push_back(
      {"find -type f -size",
       [&] {
         return runProgram({"find", root, "-type", "f", "-size", findSize}, QDir::tempPath());
       },
       ""});
  background.push_back({"startScanLargeFiles /",
                        [&] { return timeCall([&] { wholeFound = parseList(largeScan(whole)); }); },
                        ""});
  background.push_back({"find / -xdev -type f -size",
                        [&] {
                          return runProgram(
                              {"find", whole, "-xdev", "-type", "f", "-size", findSize},
                              QDir::tempPath());
                        },
                        ""});
  printLoad();
  std::printf("background scans, idle scheduling and I/O classes (%d rounds, warm cache)\n",
              rounds);
  printRows(background, false);
  std::printf("  (the duplicate scan gives the synchronous form's text: %s; large files: %d in "
              "the tree, %d in /)\n",
              asyncText == ours ? "yes" : "NO", largeFound, wholeFound);

  // A processor-bound job on every core, alone and beside a scan started
  // again and again: how much the scan takes from it.
  int jobRounds = 8;
  for (double seconds = foregroundJob(jobRounds); seconds < jobSeconds / 2;
       seconds = foregroundJob(jobRounds))
    jobRounds *= 2;
  jobRounds = int(jobRounds * jobSeconds / foregroundJob(jobRounds)) + 1;
  std::vector<std::vector<double>> jobTimes(4);
  std::vector<int> scanCounts(4);
  for (int r = 0; r < rounds; ++r) {
    int scans = 0;
    jobTimes[0].push_back(foregroundJob(jobRounds));
    jobTimes[1].push_back(jobWhile([&] { duplicateScan(root); }, jobRounds, &scans));
    scanCounts[1] += scans;
    jobTimes[2].push_back(jobWhile([&] { largeScan(whole); }, jobRounds, &scans));
    scanCounts[2] += scans;
    jobTimes[3].push_back(jobWhile(
        [&] {
          caches.useEmpty();
          finder.findDuplicateFiles(root);
        },
        jobRounds, &scans));
    scanCounts[3] += scans;
  }
  for (std::vector<double> &times : jobTimes)
    std::sort(times.begin(), times.end());
  const double alone = jobTimes[0][size_t(rounds / 2)];
  printLoad();
  std::printf("a processor-bound job on every core (SHA-256 of memory, %d rounds)\n", rounds);
  const char *names[] = {"alone", "beside startScanDuplicateFiles", "beside startScanLargeFiles /",
                         "beside findDuplicateFiles"};
  const char *notes[] = {"", "idle classes", "idle classes", "normal priority, for comparison"};
  for (size_t k = 0; k < jobTimes.size(); ++k) {
    const double median = jobTimes[k][size_t(rounds / 2)];
    std::printf("  %-34s %7.3f %7.3f %7.3f s wall  %+6.1f %%", names[k], jobTimes[k].front(),
                median, jobTimes[k].back(), (median / alone - 1) * 100);
    if (k > 0)
      std::printf("  (%d scans ran beside it; %s)", scanCounts[k], notes[k]);
    std::printf("\n");
  }

  sameSizeScan();

  std::printf("\nSHA-256\n");
  printLoad();
  const auto [wallRate, cpuRate] = sha256InMemory();
  std::printf("  %-34s %8.0f MB/s wall, %.0f MB/s per CPU second (one core, 64 MiB in memory)\n",
              "OpenSSL EVP in process", wallRate, cpuRate);
  {
    // The largest file, through the finder's own reader.
    QString largest;
    qint64 largestSize = 0;
    for (const QJsonValue &item : QJsonDocument::fromJson(scanner.scanLargeFiles(root, 0).toUtf8())
                                      .object()["list"]
                                      .toArray()) {
      largest = item.toObject()["path"].toString();
      largestSize = qint64(item.toObject()["size"].toDouble());
      break;
    }
    FileDigest digest;
    const Measure m = bestOf([&] { return timeCall([&] { digest.ofFile(largest); }); });
    std::printf("  %-34s %8.0f MB/s wall, %.0f MB/s per CPU second (%.0f MB file, warm cache)\n",
                "FileDigest::ofFile", largestSize / m.seconds / 1e6,
                largestSize / m.cpuSeconds / 1e6, largestSize / 1e6);
  }
  std::fflush(stdout);
  QProcess openssl;
  openssl.start("openssl", {"speed", "-evp", "sha256", "-bytes", "1048576", "-seconds", "2"});
  openssl.waitForFinished(-1);
  const QList<QByteArray> lines = openssl.readAllStandardOutput().trimmed().split('\n');
  std::printf("  %-34s %s (bytes per CPU second, 1 MiB blocks)\n", "openssl speed -evp sha256",
              lines.last().simplified().constData());
  return 0;
}
