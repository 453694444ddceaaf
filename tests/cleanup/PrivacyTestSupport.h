#pragma once
// Trees for the privacy tests, built in the temporary HOME and XDG folders
// that the test runner provides, and the independent measurements to check
// the cleaner against.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStringList>

#include <climits>
#include <ctime>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/PrivacyCleaner.h"

inline QString envFolder(const char *name) {
  return QFile::decodeName(qgetenv(name));
}
inline QString home() {
  return envFolder("HOME");
}
inline QString cacheHome() {
  return envFolder("XDG_CACHE_HOME");
}
inline QString dataHome() {
  return envFolder("XDG_DATA_HOME");
}
inline QString configHome() {
  return envFolder("XDG_CONFIG_HOME");
}
inline QString tempFolder() {
  return envFolder("TMPDIR");
}

// Paths as bytes, so names that are not UTF-8 can be made too.
inline QByteArray writeBytes(const QByteArray &path, const QByteArray &content) {
  const int slash = path.lastIndexOf('/');
  QDir().mkpath(QFile::decodeName(path.left(slash)));
  const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0) << path.toStdString();
  EXPECT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
  close(fd);
  return path;
}

inline QString write(const QString &path, const QByteArray &content) {
  writeBytes(QFile::encodeName(path), content);
  return path;
}

inline QByteArray bytes(int size, char fill = 'x') {
  return QByteArray(size, fill);
}

// Moves the modification time back, as if the entry had not been touched
// for that long; links themselves, never their targets.
inline void age(const QByteArray &path, int seconds) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= seconds;
  times[1] = times[0];
  EXPECT_EQ(utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW), 0)
      << path.toStdString();
}
inline void age(const QString &path, int seconds) {
  age(QFile::encodeName(path), seconds);
}

inline void link(const QString &target, const QString &path) {
  QDir().mkpath(QFileInfo(path).path());
  ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0)
      << path.toStdString();
}

inline void hardLink(const QString &existing, const QString &path) {
  ASSERT_EQ(::link(QFile::encodeName(existing).constData(), QFile::encodeName(path).constData()), 0)
      << path.toStdString();
}

// Runs a program and returns its standard output; fails the test when it
// does not exit with 0.
inline QByteArray run(const QString &program, const QStringList &arguments) {
  QProcess process;
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0)
      << program.toStdString() << ": " << process.readAllStandardError().toStdString();
  return process.readAllStandardOutput();
}

// The bytes of the regular files below the folders as find counts them
// without following links, each hard-linked file once; extra narrows the
// files (find's own tests).
inline qint64 findBytes(const QStringList &folders, const QStringList &extra = {}) {
  QSet<QByteArray> seen;
  qint64 total = 0;
  for (const QString &folder : folders) {
    if (!QFileInfo::exists(folder))
      continue;
    const QByteArray out = run("find", QStringList{"-P", folder, "-type", "f"} + extra +
                                           QStringList{"-printf", "%D %i %s\\n"});
    for (const QByteArray &line : out.split('\n')) {
      const QList<QByteArray> fields = line.split(' ');
      if (fields.size() == 3 && !seen.contains(fields[0] + ' ' + fields[1])) {
        seen.insert(fields[0] + ' ' + fields[1]);
        total += fields[2].toLongLong();
      }
    }
  }
  return total;
}

// Everything below a folder as find lists it, relative and sorted.
inline QStringList listing(const QString &folder) {
  QStringList out =
      QString::fromUtf8(run("find", {"-P", folder, "-mindepth", "1", "-printf", "%P\\n"}))
          .split('\n', Qt::SkipEmptyParts);
  out.sort();
  return out;
}

struct PrivacyItem {
  QString type;
  QString name;
  QString description;
  QString path;
  qint64 size = 0;
};

inline std::vector<PrivacyItem> privacyItems() {
  PrivacyCleaner cleaner;
  const QJsonDocument document = QJsonDocument::fromJson(cleaner.getPrivacyItems().toUtf8());
  std::vector<PrivacyItem> items;
  for (const QJsonValue &value : document.object().value("list").toArray()) {
    const QJsonObject item = value.toObject();
    items.push_back({item.value("type").toString(), item.value("name").toString(),
                     item.value("description").toString(), item.value("path").toString(),
                     qint64(item.value("size").toDouble(-1))});
  }
  return items;
}

inline qint64 sizeOf(const std::vector<PrivacyItem> &items, const QString &type) {
  for (const PrivacyItem &item : items)
    if (item.type == type)
      return item.size;
  ADD_FAILURE() << "no item " << type.toStdString();
  return -1;
}

// A process that runs until the test ends; its pid names a live process.
class RunningProcess {
public:
  explicit RunningProcess(const QString &stdinFile = QString()) {
    if (!stdinFile.isEmpty())
      process_.setStandardInputFile(stdinFile);
    process_.start("sleep", {"600"});
    EXPECT_TRUE(process_.waitForStarted());
  }
  ~RunningProcess() {
    process_.kill();
    process_.waitForFinished();
  }
  qint64 pid() const { return process_.processId(); }

private:
  QProcess process_;
};

// A pid that names no process: one that has exited and been reaped.
inline qint64 deadPid() {
  QProcess process;
  process.start("true", QStringList());
  process.waitForStarted();
  const qint64 pid = process.processId();
  process.waitForFinished();
  return pid > 0 ? pid : 999999;
}

// Every test starts from empty user folders; the log folder stays, so
// tests can read their lines.
class PrivacyTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const QString &folder : {home(), cacheHome(), configHome(), tempFolder(), dataHome()}) {
      ASSERT_FALSE(folder.isEmpty());
      ASSERT_TRUE(folder.startsWith(envFolder("TW_TEST_ROOT"))) << "not isolated";
      QDir dir(folder);
      for (const QString &entry :
           dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (folder == dataHome() && entry == "Tidewell")
          continue;
        const QString path = folder + '/' + entry;
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
          QDir(path).removeRecursively();
        else
          QFile::remove(path);
      }
    }
  }
};

inline QString hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  gethostname(name, sizeof name - 1);
  return QString::fromLocal8Bit(name);
}
