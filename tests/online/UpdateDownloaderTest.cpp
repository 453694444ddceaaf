#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "online/UpdateDownloader.h"
#include "platform/os/CommandRunner.h"
#include "tests/online/OnlineTestSupport.h"

namespace {

struct Message {
  QString type;
  qint64 received = 0, total = 0;
  QString text; // path or error
};

// The messages of one download, as the script would see them.
class Recorder {
public:
  ScriptCallback callback() {
    return [this](const CallbackEvent &event) {
      Message message;
      for (const CallbackEvent::Field &field : event.fields()) {
        if (field.key == "type")
          message.type = field.text;
        else if (field.key == "received")
          message.received = field.number;
        else if (field.key == "total")
          message.total = field.number;
        else
          message.text = field.text;
      }
      messages.append(message);
    };
  }
  bool ended() const { return !messages.isEmpty() && messages.last().type != "progress"; }
  int finals() const {
    int count = 0;
    for (const Message &message : messages)
      count += message.type != "progress";
    return count;
  }
  const Message &last() const { return messages.last(); }
  QVector<Message> messages;
};

QString sha256(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QString();
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(&file);
  return QString::fromLatin1(hash.result().toHex());
}

class UpdateDownloaderTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(service.isRunning()) << "the test service did not start"; }

  // Runs one download to its end (or the time limit).
  Recorder download(const QString &path, const QString &target, int timeoutMs = 20000) {
    Recorder recorder;
    EXPECT_EQ(downloader.downloadUpdate(service.url(path), target, recorder.callback()), "started");
    EXPECT_TRUE(spinUntil([&] { return recorder.ended(); }, timeoutMs)) << path.toStdString();
    spinUntil([] { return false; }, 50); // nothing may follow the end
    EXPECT_EQ(recorder.finals(), 1);
    return recorder;
  }
  // Files in the folder, hidden ones included: no temporary file is left.
  QStringList filesIn(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }

  TestService service;
  UpdateDownloader downloader{1500};
  QTemporaryDir dir;
};

TEST_F(UpdateDownloaderTest, ProgressThenDoneWithTheFileIntact) {
  const qint64 size = 3 * 1024 * 1024 + 17;
  const QString target = dir.filePath("update.exe");
  const Recorder recorder = download(QStringLiteral("/files/update.exe?size=%1").arg(size), target);
  ASSERT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
  EXPECT_EQ(recorder.last().text, target);
  EXPECT_EQ(sha256(target), service.sha256OfFile(size));
  ASSERT_GE(recorder.messages.size(), 2);
  qint64 previous = -1;
  for (int i = 0; i + 1 < recorder.messages.size(); ++i) {
    EXPECT_EQ(recorder.messages[i].type, "progress");
    EXPECT_EQ(recorder.messages[i].total, size);
    EXPECT_GE(recorder.messages[i].received, previous);
    previous = recorder.messages[i].received;
  }
  EXPECT_EQ(previous, size);
  EXPECT_EQ(filesIn(dir.path()), QStringList{"update.exe"});
  const QJsonObject headers = service.requestsTo("/files/update.exe").at(0)["headers"].toObject();
  EXPECT_EQ(headers["User-Agent"].toString(), "Tidewell/2.0.0");
  EXPECT_FALSE(headers.contains("X-App-Id"));
  EXPECT_FALSE(headers.contains("Content-Type"));
}

TEST_F(UpdateDownloaderTest, WithoutLengthTheTotalIsUnknown) {
  service.rule("/files/stream.bin", {{"no_length", true}});
  const QString target = dir.filePath("stream.bin");
  const Recorder recorder = download("/files/stream.bin?size=300000", target);
  ASSERT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
  EXPECT_EQ(recorder.messages.first().total, -1);
  EXPECT_EQ(sha256(target), service.sha256OfFile(300000));
}

TEST_F(UpdateDownloaderTest, FailuresEndWithOneErrorAndNoFile) {
  service.rule("/files/missing.exe", {{"status", 404}});
  Recorder recorder = download("/files/missing.exe?size=10", dir.filePath("sub/missing.exe"));
  EXPECT_EQ(recorder.last().type, "error");
  EXPECT_TRUE(recorder.last().text.contains("Not Found")) << recorder.last().text.toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath("sub/missing.exe")));

  // A status other than 200 without a network error is no file either.
  service.rule("/files/empty.exe", {{"status", 204}});
  recorder = download("/files/empty.exe?size=0", dir.filePath("empty.exe"));
  EXPECT_EQ(recorder.last().type, "error");
  EXPECT_TRUE(recorder.last().text.contains("204")) << recorder.last().text.toStdString();

  // The server closes before the announced length.
  service.rule("/files/short.exe", {{"short_by", 1000}});
  recorder = download("/files/short.exe?size=200000", dir.filePath("short.exe"));
  EXPECT_EQ(recorder.last().type, "error");

  // The server stops sending: ended by the stall limit.
  service.rule("/files/stall.exe", {{"stall_after", 100000}});
  recorder = download("/files/stall.exe?size=500000", dir.filePath("stall.exe"));
  EXPECT_EQ(recorder.last().type, "error");
  EXPECT_GT(recorder.messages.first().received, 0) << "part of the body arrived first";

  recorder = download("/files/x", "");
  Recorder local;
  downloader.downloadUpdate("file:///etc/hostname", dir.filePath("hostname"), local.callback());
  ASSERT_TRUE(spinUntil([&] { return local.ended(); }, 3000));
  EXPECT_EQ(local.last().type, "error");

  EXPECT_EQ(filesIn(dir.path()), QStringList()) << filesIn(dir.path()).join(",").toStdString();
  EXPECT_EQ(QDir(dir.filePath("sub")).entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(UpdateDownloaderTest, AnEncodedBodyIsNeverTakenForTheFile) {
  // A gzip stream cut short is a complete answer whose length matches.
  service.rule("/files/packed.exe", {{"gzip", true}, {"gzip_cut", 100}});
  const Recorder recorder = download("/files/packed.exe?size=300000", dir.filePath("packed.exe"));
  EXPECT_EQ(recorder.last().type, "error");
  EXPECT_EQ(recorder.last().text, "unsupported content encoding: gzip");
  EXPECT_EQ(service.requestsTo("/files/packed.exe").at(0)["headers"]["Accept-Encoding"],
            "identity");
  EXPECT_EQ(filesIn(dir.path()), QStringList());
}

TEST_F(UpdateDownloaderTest, RedirectAndFolderChain) {
  service.rule("/files/latest", {{"redirect", "/files/real.exe?size=5000"}});
  const QString target = dir.filePath("a/b/c/update.exe");
  const Recorder recorder = download("/files/latest", target);
  ASSERT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
  EXPECT_EQ(recorder.last().text, target);
  EXPECT_EQ(sha256(target), service.sha256OfFile(5000));
}

TEST_F(UpdateDownloaderTest, ATargetThatCannotBeReplacedGetsAnAlternativeName) {
  // A non-empty folder where the file should go: it cannot be written or removed.
  ASSERT_TRUE(QDir().mkpath(dir.filePath("update.exe/inside")));
  Recorder recorder = download("/files/u?size=1000", dir.filePath("update.exe"));
  ASSERT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
  EXPECT_EQ(recorder.last().text, dir.filePath("update_1.exe"));
  EXPECT_EQ(sha256(dir.filePath("update_1.exe")), service.sha256OfFile(1000));

  // An existing file is replaced; a name without suffix gets a dot after the counter.
  recorder = download("/files/u?size=2000", dir.filePath("update_1.exe"));
  EXPECT_EQ(recorder.last().text, dir.filePath("update_1.exe"));
  EXPECT_EQ(sha256(dir.filePath("update_1.exe")), service.sha256OfFile(2000));
  ASSERT_TRUE(QDir().mkpath(dir.filePath("plain/x")));
  recorder = download("/files/u?size=10", dir.filePath("plain"));
  EXPECT_EQ(recorder.last().text, dir.filePath("plain_1."));

  // Every alternative taken: the error names the last failure.
  QString name = "full.bin";
  ASSERT_TRUE(QDir().mkpath(dir.filePath("full.bin/x")));
  for (int i = 1; i <= 20; ++i) {
    name = QFileInfo(name).completeBaseName() + "_" + QString::number(i) + ".bin";
    ASSERT_TRUE(QDir().mkpath(dir.filePath(name + "/x")));
  }
  recorder = download("/files/u?size=10", dir.filePath("full.bin"));
  EXPECT_EQ(recorder.last().type, "error");
  EXPECT_TRUE(recorder.last().text.startsWith("save file failed: "))
      << recorder.last().text.toStdString();
}

TEST_F(UpdateDownloaderTest, AFullDiskIsAnErrorWithNoPartialFile) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "mounting a small tmpfs needs root";
  const QString mount = dir.filePath("small");
  ASSERT_TRUE(QDir().mkpath(mount));
  if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=256k,mode=0700", "tmpfs", mount}) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  // Announced too large for the disk, and found too large while writing.
  service.rule("/files/stream.exe", {{"no_length", true}});
  for (const QString path : {"/files/big.exe?size=2000000", "/files/stream.exe?size=2000000"}) {
    const Recorder recorder = download(path, mount + "/big.exe");
    EXPECT_EQ(recorder.last().type, "error");
    EXPECT_EQ(recorder.last().text, "save file failed: the disk is full")
        << recorder.last().text.toStdString();
    EXPECT_EQ(filesIn(mount), QStringList());
  }
  QProcess::execute("umount", {mount});
}

mode_t modeOf(const QString &path) {
  struct stat info {};
  return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The upgrader's way: a relative name, saved in the user's own folder as a
// program, and started only as it was downloaded.
TEST_F(UpdateDownloaderTest, AnUpdateIsSavedPrivatelyAsAProgramAndStartedOnlyAsDownloaded) {
  const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
  ASSERT_EQ(UpdateDownloader::ownFolder(), dir.filePath("cache/Tidewell"));
  service.rule("/files/touch", {{"file", "/usr/bin/touch"}});
  Recorder recorder = download("/files/touch", "update/touch");
  ASSERT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
  const QString saved = dir.filePath("cache/Tidewell/update/touch");
  EXPECT_EQ(recorder.last().text, saved);
  for (const QString &path : {dir.filePath("cache/Tidewell"), QFileInfo(saved).path(), saved})
    EXPECT_EQ(modeOf(path), 0700u) << path.toStdString();
  EXPECT_EQ(downloader.programToStart("/usr/bin/true"), "/usr/bin/true");

  // It runs, from the descriptor it was written by.
  const QString start = downloader.programToStart(saved);
  EXPECT_TRUE(start.startsWith("/proc/self/fd/")) << start.toStdString();
  ASSERT_TRUE(CommandRunner::startDetached(start, {dir.filePath("ran")}));
  EXPECT_TRUE(spinUntil([&] { return QFile::exists(dir.filePath("ran")); }, 10000));

  // Changed in place after it was checked (once it has ended: a running
  // program's file cannot be written): never started.
  QFile file(saved);
  ASSERT_TRUE(spinUntil([&] { return file.open(QIODevice::Append); }, 10000));
  file.write("x");
  file.close();
  EXPECT_EQ(downloader.programToStart(saved), QString());
  // Replaced by another file of the same content: not the one downloaded.
  recorder = download("/files/touch", "update/touch");
  ASSERT_EQ(recorder.last().type, "done");
  ASSERT_TRUE(QFile::copy("/usr/bin/touch", saved + ".other"));
  ASSERT_EQ(::rename(QFile::encodeName(saved + ".other"), QFile::encodeName(saved)), 0);
  EXPECT_EQ(downloader.programToStart(saved), QString());
  qputenv("XDG_CACHE_HOME", cacheHome);
}

TEST_F(UpdateDownloaderTest, RefusesAFolderSomeoneElseCouldChange) {
  // World-writable, group-writable, a link, below a world-writable folder,
  // another user's (as root only).
  QStringList folders = {"w/update", "g/update", "l/update", "b/update", "u/update"};
  for (const QString &folder : folders)
    QDir().mkpath(dir.filePath(folder));
  const auto mode = [this](const QString &name, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath(name)), mode), 0);
  };
  mode("w/update", 0777);
  mode("g/update", 0770);
  mode("b", 0777);
  QDir().mkpath(dir.filePath("elsewhere"));
  ASSERT_TRUE(QDir().rmdir(dir.filePath("l/update")));
  ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("l/update")));
  if (::geteuid() != 0 || ::chown(QFile::encodeName(dir.filePath("u/update")), 65534, -1) != 0)
    folders.removeLast();
  for (const QString &folder : folders) {
    SCOPED_TRACE(folder.toStdString());
    const Recorder recorder = download("/files/u?size=1000", dir.filePath(folder + "/u.exe"));
    EXPECT_TRUE(recorder.last().text.startsWith("save file failed: "))
        << recorder.last().text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(folder + "/u.exe")));
  }
}

TEST_F(UpdateDownloaderTest, APartialFileLeftByAKilledDownloadGoesWithTheNext) {
  const QString stale = dir.filePath(".update.exe.1f2e3d.part");
  const QString held = dir.filePath(".other.exe.abc.part");
  const QString notOurs = dir.filePath("notes.part");
  for (const QString &file : {stale, held, notOurs})
    QFile(file).open(QIODevice::WriteOnly);
  // A download still running somewhere holds its file locked.
  QFile holder(held);
  ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
  ASSERT_EQ(::flock(holder.handle(), LOCK_EX), 0);
  const Recorder recorder = download("/files/u?size=1000", dir.filePath("update.exe"));
  ASSERT_EQ(recorder.last().type, "done");
  EXPECT_EQ(filesIn(dir.path()), QStringList({".other.exe.abc.part", "notes.part", "update.exe"}));
}

TEST_F(UpdateDownloaderTest, DestroyedMidDownloadItLeavesNothing) {
  service.rule("/files/slow.exe", {{"stall_after", 200000}});
  Recorder recorder;
  Recorder finished;
  {
    UpdateDownloader closing;
    // One done before, two running at once when it goes.
    closing.downloadUpdate(service.url("/files/done.exe?size=1000"), dir.filePath("done.exe"),
                           finished.callback());
    ASSERT_TRUE(spinUntil([&] { return finished.finals() == 1; }, 10000));
    for (const QString name : {"slow.exe", "slow2.exe"})
      closing.downloadUpdate(service.url("/files/slow.exe?size=400000"), dir.filePath(name),
                             recorder.callback());
    // Part of each body has arrived once its temporary file exists.
    ASSERT_TRUE(spinUntil([&] { return filesIn(dir.path()).size() == 3; }, 10000))
        << "the bodies stream into temporary files";
  }
  spinUntil([] { return false; }, 100);
  EXPECT_EQ(recorder.finals(), 0);
  EXPECT_EQ(filesIn(dir.path()), QStringList{"done.exe"});
}

} // namespace

// An update is one packed folder: unpacked privately from the verified
// download, its installer started to update once we have ended; a package
// without a real installer, or changed since it was checked, is refused.
TEST_F(UpdateDownloaderTest, AnUpdatePackageUnpacksPrivatelyAndStartsItsInstaller) {
  const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
  const auto pack = [&](const QString &name, const std::function<void(const QString &)> &fill) {
    const QString folder = dir.filePath(name);
    QDir().mkpath(folder);
    fill(folder);
    QProcess tar;
    tar.start("tar", {"czf", dir.filePath(name + ".tar.gz"), "-C", folder, "."});
    EXPECT_TRUE(tar.waitForFinished() && tar.exitCode() == 0);
    service.rule("/files/" + name, {{"file", dir.filePath(name + ".tar.gz")}});
    const Recorder recorder = download("/files/" + name, "update/" + name + ".tar.gz");
    EXPECT_EQ(recorder.last().type, "done") << recorder.last().text.toStdString();
    return recorder.last().text;
  };
  const QString unpacked = dir.filePath("cache/Tidewell/update/unpacked");
  const QString installer = "Tidewell-installer.exe";

  const QString good = pack("good", [&](const QString &folder) {
    QFile script(folder + "/" + installer);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\necho \"$PWD $*\" > " + QFile::encodeName(dir.filePath("ran")) + "\n");
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(folder + "/cleaners");
  });
  EXPECT_EQ(downloader.installUpdate(good), QString());
  ASSERT_TRUE(spinUntil([&] { return QFileInfo(dir.filePath("ran")).size() > 0; }, 10000));
  QFile ran(dir.filePath("ran"));
  ran.open(QIODevice::ReadOnly);
  EXPECT_EQ(ran.readAll().trimmed(),
            (unpacked + " --update --after=" + QString::number(::getpid())).toUtf8());
  EXPECT_EQ(modeOf(unpacked), 0700u);
  EXPECT_TRUE(QFileInfo(unpacked + "/cleaners").isDir());

  const QString linked = pack("linked", [&](const QString &folder) {
    QFile::link("/usr/bin/true", folder + "/" + installer);
  });
  EXPECT_EQ(downloader.installUpdate(linked), "the update holds no installer");
  EXPECT_FALSE(QFileInfo::exists(unpacked))
      << "neither the earlier update nor the refused one stays";
  const QString notPacked = pack("plain", [](const QString &) {});
  QFile::resize(notPacked, 10);
  EXPECT_TRUE(downloader.installUpdate(notPacked).startsWith("not a verified download"));
  EXPECT_TRUE(downloader.installUpdate("/usr/bin/true").startsWith("not a verified download"));
  qputenv("XDG_CACHE_HOME", cacheHome);
}
