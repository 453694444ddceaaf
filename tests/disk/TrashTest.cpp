// Large files sent to the Trash as trash-cli and file managers read it: on
// the home's file system and on a second one, with names that need escaping,
// and never a file that changed after the scan.
#include "disk/LargeFileScanner.h"
#include "disk/ScannedFileRemover.h"
#include "platform/storage/FileName.h"

#include "DiskTestSupport.h"

#include <QJsonArray>
#include <QMap>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const QByteArray big(20000, 't');

// A file by the bytes of its path, which need not be UTF-8.
QString writeBytes(const QByteArray &path, const QByteArray &content) {
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_GE(fd, 0) << path.constData();
  EXPECT_EQ(::write(fd, content.constData(), size_t(content.size())), content.size());
  ::close(fd);
  return FileName::fromBytes(path);
}

class TrashTest : public ::testing::Test {
protected:
  void SetUp() override {
    home = tree.mkdir("home");
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + "/.local/share"));
  }

  // The result and freed bytes for each path, after trashing what a scan of
  // folder listed.
  QMap<QString, QPair<QString, qint64>> trashListed(const QString &folder,
                                                    const QStringList &paths) {
    LargeFileScanner scanner;
    auto scan = MessageLog::create();
    scanner.startScanLargeFiles(folder, 10000, scan->callback(scan));
    EXPECT_TRUE(scan->waitForEnd());
    if (beforeRemoval)
      beforeRemoval();
    QJsonArray files;
    for (const QString &path : paths)
      files.append(QJsonObject{{"path", path}, {"size", double(big.size())}});
    auto log = MessageLog::create();
    ScannedFileRemover().deleteScannedFiles(
        QString::fromUtf8(QJsonDocument(QJsonObject{{"trash", true}, {"files", files}}).toJson()),
        log->callback(log));
    EXPECT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->last().type, "done");
    QMap<QString, QPair<QString, qint64>> results;
    for (const QJsonValue &answer : parseObject(log->last().data).value("list").toArray())
      results.insert(answer["path"].toString(),
                     {answer["result"].toString(), qint64(answer["freed"].toDouble(-1))});
    return results;
  }

  QByteArray trashCli(const QString &program, const QStringList &arguments,
                      const QByteArray &input = QByteArray()) {
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    process.start(program, arguments);
    if (!process.waitForStarted())
      return "not started";
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    return process.readAllStandardOutput() + process.readAllStandardError();
  }

  QByteArray info(const QString &trash, const QByteArray &name) {
    QFile file;
    const int fd = ::open(QFile::encodeName(trash + "/info/") + name + ".trashinfo", O_RDONLY);
    return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle) ? file.readAll()
                                                                                 : QByteArray();
  }

  TempTree tree;
  QString home;
  std::function<void()> beforeRemoval;
};

TEST_F(TrashTest, HomeFilesGoToTheHomeTrashListedAndRestoredByTrashCli) {
  const QString docs = tree.mkdir("home/docs");
  const QString spaced = tree.write("home/docs/annual report.bin", big),
                changed = tree.write("home/docs/draft.bin", big),
                latin1 = writeBytes(QFile::encodeName(docs) + "/caf\xe9.bin", big);
  // The same name once more, from another folder: it gets a name of its own.
  const QString again = tree.write("home/docs/old/annual report.bin", QByteArray(20000, 'o'));
  // A stray entry in the trash with no info file: its name is taken.
  tree.write("home/.local/share/Trash/files/annual report.bin.2", "stray");
  beforeRemoval = [&] { tree.write("home/docs/draft.bin", QByteArray(20001, 'c')); };
  const auto results = trashListed(docs, {spaced, changed, latin1, again});

  EXPECT_EQ(results.value(spaced), qMakePair(QString("trashed"), qint64(0)))
      << "its space returns only when the Trash is emptied";
  EXPECT_EQ(results.value(latin1).first, "trashed");
  EXPECT_EQ(results.value(again).first, "trashed");
  EXPECT_EQ(results.value(changed).first, "changed");
  EXPECT_EQ(tree.read("home/docs/draft.bin"), QByteArray(20001, 'c'));
  EXPECT_FALSE(QFile::exists(spaced));

  const QString trash = home + "/.local/share/Trash";
  const QByteArray encodedDocs = QFile::encodeName(docs).toPercentEncoding("/");
  const QByteArray spacedInfo = info(trash, "annual report.bin");
  EXPECT_TRUE(spacedInfo.startsWith("[Trash Info]\nPath=" + encodedDocs +
                                    "/annual%20report.bin\n"
                                    "DeletionDate="))
      << spacedInfo.constData();
  EXPECT_TRUE(QRegExp("DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")
                  .indexIn(QString::fromLatin1(spacedInfo)) > 0);
  EXPECT_TRUE(info(trash, "annual report.bin.3").contains("/old/annual%20report.bin"));
  EXPECT_EQ(info(trash, "annual report.bin.2"), QByteArray())
      << "the info file of a failed move goes";
  EXPECT_EQ(tree.read("home/.local/share/Trash/files/annual report.bin.2"), "stray");
  EXPECT_TRUE(info(trash, "caf\xe9.bin").contains("/caf%E9.bin\n"));
  struct stat status;
  ASSERT_EQ(::stat(QFile::encodeName(trash + "/info").constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);

  const QByteArray listed = trashCli("trash-list", {});
  EXPECT_TRUE(listed.contains(QFile::encodeName(spaced))) << listed.constData();
  EXPECT_TRUE(listed.contains(QFile::encodeName(again))) << listed.constData();
  EXPECT_FALSE(listed.contains("draft.bin")) << listed.constData();

  // trash-restore offers what was trashed below the folder given; 0 is the first.
  const QByteArray restored = trashCli("trash-restore", {spaced}, "0\n");
  EXPECT_EQ(tree.read("home/docs/annual report.bin"), big) << restored.constData();
  EXPECT_FALSE(QFile::exists(trash + "/info/annual report.bin.trashinfo"));
}

// A tmpfs mounted in this process's own mount namespace: its files go to its
// own .Trash-$uid, or to .Trash/$uid when a sticky .Trash is there.
TEST_F(TrashTest, FilesOnAnotherFileSystemStayOnIt) {
  const QString volume = tree.mkdir("volume");
  if (unshare(CLONE_NEWNS) != 0)
    GTEST_SKIP() << "no mount namespace for this user: " << strerror(errno);
  if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", QFile::encodeName(volume).constData(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "mounting a tmpfs is not allowed here: " << strerror(errno);
  const QString uid = QString::number(geteuid());
  const QString first = tree.write("volume/data/first.bin", big),
                second = tree.write("volume/data/second.bin", big);
  // A .Trash that is a link is no shared trash: the private one is used.
  ASSERT_EQ(symlink(QFile::encodeName(home).constData(),
                    QFile::encodeName(volume + "/.Trash").constData()),
            0);
  EXPECT_EQ(trashListed(volume, {first}).value(first).first, "trashed");
  EXPECT_TRUE(
      info(volume + "/.Trash-" + uid, "first.bin").contains("Path=" + QFile::encodeName(first)));
  EXPECT_FALSE(QFile::exists(home + "/" + uid)) << "the link was not followed";
  struct stat status;
  ASSERT_EQ(::stat(QFile::encodeName(volume + "/.Trash-" + uid).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);

  ASSERT_TRUE(QFile::remove(volume + "/.Trash"));
  ASSERT_TRUE(QDir().mkdir(volume + "/.Trash"));
  ASSERT_EQ(chmod(QFile::encodeName(volume + "/.Trash").constData(), 01777), 0);
  EXPECT_EQ(trashListed(volume, {second}).value(second).first, "trashed");
  EXPECT_TRUE(QFile::exists(volume + "/.Trash/" + uid + "/files/second.bin"));
  EXPECT_FALSE(QFile::exists(home + "/.local/share/Trash/files/second.bin"));

  const QByteArray listed = trashCli("trash-list", {});
  EXPECT_TRUE(listed.contains(QFile::encodeName(first))) << listed.constData();
  EXPECT_TRUE(listed.contains(QFile::encodeName(second))) << listed.constData();
  umount2(QFile::encodeName(volume).constData(), MNT_DETACH);
}

} // namespace
