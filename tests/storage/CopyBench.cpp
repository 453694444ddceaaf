// copy-bench: FileCopy over a tree of small files (the installer's copy, one
// call per file) beside a plain open/read/write loop over the same files and
// `cp -r` of the tree: cost per file as min, median and max of rounds in
// which every contender runs once, in turn, into a fresh destination; then
// FileCopy once more over the destination it made (every file replaced).
//
//   copy-bench [--files N] [--size BYTES] [--rounds R]
//
// The tree (2,000 files of 100 KiB by default) goes into a temporary folder
// under TMPDIR and is removed afterwards.
#include "platform/storage/FileCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int filesPerFolder = 100;

QString relativeOf(int index) {
  return QStringLiteral("app/lib/part%1/file%2.bin")
      .arg(index / filesPerFolder, 3, 10, QLatin1Char('0'))
      .arg(index);
}

bool makeTree(const QString &root, int files, int size) {
  std::vector<char> content(size_t(size), 'x');
  for (int i = 0; i < files; ++i) {
    const QString path = root + '/' + relativeOf(i);
    QDir().mkpath(path.left(path.lastIndexOf('/')));
    content[0] = char(i);
    const int out =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || ::write(out, content.data(), content.size()) != ssize_t(content.size()))
      return false;
    ::close(out);
  }
  return true;
}

// The folders of the destination, as the installer makes them before copying.
void makeFolders(const QString &root, int files) {
  for (int i = 0; i < files; i += filesPerFolder) {
    const QString path = root + '/' + relativeOf(i);
    QDir().mkpath(path.left(path.lastIndexOf('/')));
  }
}

bool fileCopyLoop(const QString &from, const QString &to, int files) {
  FileCopy copy;
  copy.overwrite = true;
  copy.copyLinks = true;
  for (int i = 0; i < files; ++i)
    if (copy.copy(from + '/' + relativeOf(i), to + '/' + relativeOf(i)) !=
        FileCopy::Result::Copied) {
      std::fprintf(stderr, "copy failed: %s\n", qPrintable(copy.reason()));
      return false;
    }
  return true;
}

bool plainLoop(const QString &from, const QString &to, int files) {
  std::vector<char> buffer(1 << 16);
  for (int i = 0; i < files; ++i) {
    const int in =
        ::open(QFile::encodeName(from + '/' + relativeOf(i)).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(to + '/' + relativeOf(i)).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0)
      return false;
    ssize_t got;
    while ((got = ::read(in, buffer.data(), buffer.size())) > 0)
      if (::write(out, buffer.data(), size_t(got)) != got)
        return false;
    ::close(in);
    ::close(out);
  }
  return true;
}

bool cpTree(const QString &from, const QString &to) {
  return QProcess::execute(QStringLiteral("cp"),
                           {QStringLiteral("-r"), from + QStringLiteral("/app"),
                            to + QStringLiteral("/app")}) == 0;
}

struct Contender {
  const char *name;
  bool foldersMade; // whether the destination folders exist before the clock starts
  std::function<bool(const QString &to)> run;
  std::vector<double> perFile; // microseconds
};

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  int files = 2000, size = 100 * 1024, rounds = 5;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == QLatin1String("--files"))
      files = args[i + 1].toInt();
    else if (args[i] == QLatin1String("--size"))
      size = args[i + 1].toInt();
    else if (args[i] == QLatin1String("--rounds"))
      rounds = args[i + 1].toInt();
  }
  QTemporaryDir work;
  const QString source = work.path() + QStringLiteral("/source");
  if (files <= 0 || size <= 0 || rounds <= 0 || !makeTree(source, files, size)) {
    std::fprintf(stderr, "copy-bench: cannot make the tree\n");
    return 1;
  }
  std::printf("copy-bench: %d files of %d bytes, %d rounds, per file in microseconds\n", files,
              size, rounds);

  std::vector<Contender> contenders = {
      {"FileCopy", true, [&](const QString &to) { return fileCopyLoop(source, to, files); }, {}},
      {"read/write loop",
       true,
       [&](const QString &to) { return plainLoop(source, to, files); },
       {}},
      {"cp -r", false, [&](const QString &to) { return cpTree(source, to); }, {}},
  };
  Contender replacing{"FileCopy, replacing",
                      true,
                      [&](const QString &to) { return fileCopyLoop(source, to, files); },
                      {}};
  for (int round = 0; round < rounds; ++round) {
    for (Contender &contender : contenders) {
      const QString to = work.path() + QStringLiteral("/to");
      QDir(to).removeRecursively();
      QDir().mkpath(to);
      if (contender.foldersMade)
        makeFolders(to, files);
      ::sync();
      QElapsedTimer clock;
      clock.start();
      if (!contender.run(to))
        return 1;
      contender.perFile.push_back(double(clock.nsecsElapsed()) / 1000.0 / files);
      if (&contender == &contenders.front()) {
        clock.restart();
        if (!replacing.run(to))
          return 1;
        replacing.perFile.push_back(double(clock.nsecsElapsed()) / 1000.0 / files);
      }
    }
  }
  contenders.push_back(std::move(replacing));
  std::printf("%-22s %8s %8s %8s\n", "", "min", "median", "max");
  for (Contender &contender : contenders) {
    std::sort(contender.perFile.begin(), contender.perFile.end());
    std::printf("%-22s %8.1f %8.1f %8.1f\n", contender.name, contender.perFile.front(),
                contender.perFile[contender.perFile.size() / 2], contender.perFile.back());
  }
  return 0;
}
