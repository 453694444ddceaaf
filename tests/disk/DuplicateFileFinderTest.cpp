#include "disk/DuplicateFileFinder.h"
#include "disk/DuplicateGroups.h"
#include "disk/FileDigest.h"
#include "disk/JsonText.h"
#include "disk/LargeFileScanner.h"
#include "platform/storage/ReadOnlyFile.h"

#include "DiskTestSupport.h"
#include "tests/system/TestFiles.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include <fcntl.h>
#include <linux/ioprio.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const char emptyDigest[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

QJsonArray groupsOf(const QString &text) {
  return parseObject(text).value("groups").toArray();
}

QStringList filesOf(const QJsonValue &group) {
  QStringList paths;
  for (const QJsonValue &file : group.toObject().value("files").toArray())
    paths.append(file.toObject().value("path").toString());
  return paths;
}

QString sha256(const QByteArray &content) {
  return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

// Runs a scan of either form and returns its final data.
QString runAsync(DuplicateFileFinder &finder, const QString &folders,
                 std::vector<MessageLog::Message> *messages = nullptr) {
  auto log = MessageLog::create();
  const int id = finder.startScanDuplicateFiles(folders, log->callback(log));
  EXPECT_TRUE(log->waitForEnd());
  EXPECT_TRUE(log->wellFormed());
  EXPECT_EQ(log->last().type, "done");
  EXPECT_EQ(log->last().id, id);
  if (messages)
    *messages = log->messages();
  return log->last().data;
}

using Form = std::function<QString(DuplicateFileFinder &, const QString &)>;

std::vector<std::pair<const char *, Form>> bothForms() {
  return {{"sync", [](DuplicateFileFinder &f,
                      const QString &folders) { return f.findDuplicateFiles(folders); }},
          {"async",
           [](DuplicateFileFinder &f, const QString &folders) { return runAsync(f, folders); }}};
}

// Watches files for any open.
class OpenWatch {
public:
  OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~OpenWatch() { close(fd_); }
  void watch(const QString &path) {
    ASSERT_GE(inotify_add_watch(fd_, path.toLocal8Bit().constData(), IN_OPEN), 0);
  }
  bool anyOpened() {
    char buffer[4096];
    return read(fd_, buffer, sizeof buffer) > 0;
  }

private:
  int fd_;
};

} // namespace

TEST(DuplicateFiles, IdenticalPairFormsOneGroupAndTheOddOneOutNone) {
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    TempTree tree;
    const QString a = tree.write("a/same1", "0123456789");
    const QString b = tree.write("b/same2", "0123456789");
    tree.write("a/other", "abcdefghij");
    tree.write("a/alone", "unique size");
    DuplicateFileFinder finder;
    const QJsonArray groups = groupsOf(form(finder, tree.path("a") + "," + tree.path("b")));
    ASSERT_EQ(groups.size(), 1);
    const QJsonObject group = groups.at(0).toObject();
    EXPECT_EQ(group.keys(), QStringList({"files", "hash", "size"}));
    EXPECT_EQ(group.value("hash").toString(), sha256("0123456789"));
    EXPECT_EQ(group.value("size").toDouble(), 10.0);
    EXPECT_EQ(filesOf(group), QStringList({a, b})); // in the order found
    const QJsonObject file = group.value("files").toArray().at(1).toObject();
    EXPECT_EQ(file.keys(), QStringList({"modifiedTime", "name", "path", "size"}));
    EXPECT_EQ(file.value("name").toString(), "same2");
  }
}

TEST(DuplicateFiles, GroupsInDigestOrderAndLargeFilesByContent) {
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    TempTree tree;
    QByteArray big(3 * 1024 * 1024 + 17, 'q');
    big[5000] = 'x';
    QByteArray bigOther = big;
    bigOther[big.size() - 1] = 'z'; // same first 4 KiB, differs at the end
    const QString b1 = tree.write("b1", big);
    const QString b2 = tree.write("sub/b2", big);
    tree.write("b3", bigOther);
    tree.write("e1", "");
    tree.write("sub/e2", "");
    tree.write("t1", "twin");
    tree.write("t2", "twin");
    DuplicateFileFinder finder;
    const QJsonArray groups = groupsOf(form(finder, tree.root()));
    ASSERT_EQ(groups.size(), 3);
    QStringList hashes;
    for (const QJsonValue &group : groups)
      hashes.append(group.toObject().value("hash").toString());
    QStringList sorted = hashes;
    sorted.sort();
    EXPECT_EQ(hashes, sorted);
    for (const QJsonValue &group : groups) {
      const QString hash = group.toObject().value("hash").toString();
      if (hash == sha256(big)) {
        EXPECT_EQ(setOf(filesOf(group)), QSet<QString>({b1, b2}));
        EXPECT_EQ(group.toObject().value("size").toDouble(), double(big.size()));
      } else if (hash == emptyDigest) {
        EXPECT_EQ(group.toObject().value("size").toDouble(), 0.0);
        EXPECT_EQ(filesOf(group).size(), 2);
      } else {
        EXPECT_EQ(hash, sha256("twin"));
      }
    }
  }
}

TEST(DuplicateFiles, NoDuplicatesAndEmptyListsGiveNoGroups) {
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    TempTree tree;
    tree.write("x", "1");
    tree.write("y", "22");
    tree.write("z", "3");
    tree.write(".hidden-copy", "3");
    QFile::link(tree.path("z"), tree.path("link-to-z"));
    DuplicateFileFinder finder;
    EXPECT_EQ(form(finder, tree.root()), "{\n    \"groups\": [\n    ]\n}\n");
    EXPECT_TRUE(groupsOf(form(finder, "")).isEmpty());
    EXPECT_TRUE(groupsOf(form(finder, "[]")).isEmpty());
    EXPECT_TRUE(groupsOf(form(finder, "/no/such/place")).isEmpty());
  }
}

TEST(DuplicateFiles, OverlappingFoldersNeverPairAFileWithItself) {
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    TempTree tree;
    tree.write("top/inner/lonely", "only one of me");
    const QString p = tree.write("top/inner/pair1", "pair");
    const QString q = tree.write("top/pair2", "pair");
    DuplicateFileFinder finder;
    const QJsonArray groups = groupsOf(
        form(finder, tree.path("top/inner") + "," + tree.path("top") + "," + tree.path("top")));
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(filesOf(groups.at(0)), QStringList({p, q}));
  }
}

TEST(DuplicateFiles, AFileWhoseSizeIsUniqueIsNeverOpened) {
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    TempTree tree;
    const QString alone = tree.write("alone", QByteArray(7000, 'a'));
    tree.write("p1", QByteArray(5000, 'p'));
    tree.write("p2", QByteArray(5000, 'p'));
    tree.write("s1", "small");
    tree.write("s2", "small");
    OpenWatch watch;
    watch.watch(alone);
    DuplicateFileFinder finder;
    EXPECT_EQ(groupsOf(form(finder, tree.root())).size(), 2);
    EXPECT_FALSE(watch.anyOpened());
  }
}

TEST(DuplicateFiles, AnUnreadableFileNeverHidesAPairOfItsSize) {
  for (const int size : {10, 5000}) {
    for (const bool unreadableFirst : {true, false}) {
      for (const auto &[name, form] : bothForms()) {
        SCOPED_TRACE(testing::Message()
                     << name << " size " << size << " first " << unreadableFirst);
        TempTree tree;
        const QString locked = tree.write("u/locked", QByteArray(size, 'p'));
        const QString a = tree.write("p/a", QByteArray(size, 'p'));
        const QString b = tree.write("p/b", QByteArray(size, 'p'));
        QFile::setPermissions(locked, {});
        const QString folders = unreadableFirst ? tree.path("u") + "," + tree.path("p")
                                                : tree.path("p") + "," + tree.path("u");
        QString result;
        {
          WithoutReadOverride guard;
          if (!guard.active())
            GTEST_SKIP() << "cannot drop the read override capability";
          QFile probe(locked);
          ASSERT_FALSE(probe.open(QIODevice::ReadOnly));
          DuplicateFileFinder finder;
          result = form(finder, folders);
        }
        const QJsonArray groups = groupsOf(result);
        ASSERT_EQ(groups.size(), 1);
        EXPECT_EQ(setOf(filesOf(groups.at(0))), QSet<QString>({a, b}));
      }
    }
  }
}

// Under a low descriptor limit a large set of copies is compared a few files
// at a time: none drops out of its group for want of a descriptor.
TEST(DuplicateFiles, ALowDescriptorLimitLosesNoCopy) {
  TempTree tree;
  QSet<QString> copies;
  for (int i = 0; i < 60; ++i)
    copies.insert(tree.write(QString("d%1/copy%2").arg(i % 3).arg(i), QByteArray(5000, 'c')));
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  for (const auto &[name, form] : bothForms()) {
    SCOPED_TRACE(name);
    struct rlimit low = saved;
    low.rlim_cur = 40;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    DuplicateFileFinder finder;
    const QString result = form(finder, tree.root());
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    const QJsonArray groups = groupsOf(result);
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(setOf(filesOf(groups.at(0))), copies);
  }
}

TEST(DuplicateFilesAsync, ProgressOnlyWhenGroupsChangedAndNeverWithoutDuplicates) {
  // One small folder queued again and again, far faster than a scan can walk
  // it, keeps both scans busy past the 2 s progress interval however fast the
  // machine; then they are stopped.
  TempTree tree;
  tree.write("pair/a", "twin");
  tree.write("pair/b", "twin");
  const QString many = tree.mkdir("many");
  tree.write("many/f", "single");
  QStringList folders;
  for (int i = 0; i < 2000; ++i)
    folders.append(many);
  const QString manyTimes =
      QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(folders)).toJson());
  folders.prepend(tree.path("pair"));
  const QString pairThenMany =
      QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(folders)).toJson());
  DuplicateFileFinder finder;
  auto withPair = MessageLog::create();
  auto without = MessageLog::create();
  const int ids[2] = {finder.startScanDuplicateFiles(pairThenMany, withPair->callback(withPair)),
                      finder.startScanDuplicateFiles(manyTimes, without->callback(without))};
  const auto started = std::chrono::steady_clock::now();
  while (withPair->messages().empty() ||
         std::chrono::steady_clock::now() - started < std::chrono::milliseconds(2500)) {
    for (int i = 0; i < 200; ++i) {
      for (const int id : ids)
        ASSERT_TRUE(finder.addScanDuplicateFilesFolder(id, many));
    }
    ASSERT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (const int id : ids)
    EXPECT_TRUE(finder.stopScanDuplicateFiles(id));
  ASSERT_TRUE(withPair->waitForEnd(std::chrono::seconds(60)));
  ASSERT_TRUE(without->waitForEnd(std::chrono::seconds(60)));

  const std::vector<MessageLog::Message> all = withPair->messages();
  ASSERT_EQ(all.size(), 2u); // one progress for the one change, then the end
  EXPECT_EQ(all[0].type, "progress");
  EXPECT_EQ(groupsOf(all[0].data).size(), 1);
  EXPECT_EQ(all[1].type, "stopped");
  EXPECT_EQ(all[1].data, all[0].data);

  ASSERT_EQ(without->messages().size(), 1u);
  EXPECT_EQ(without->last().type, "stopped");
  EXPECT_TRUE(groupsOf(without->last().data).isEmpty());
}

// Both kinds of scan work in the idle scheduling and I/O classes; the thread
// that starts them keeps its own.
TEST(BackgroundScans, WorkersRunOnlyWhenTheMachineIsIdle) {
  TempTree tree;
  tree.write("a", "same");
  tree.write("b", "same");
  struct Seen {
    std::mutex mutex;
    std::vector<std::pair<int, long>> classes; // scheduling policy, I/O priority
  };
  auto seen = std::make_shared<Seen>();
  const ScriptCallback record = [seen](const CallbackEvent &) {
    const long io = syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, 0);
    std::lock_guard<std::mutex> lock(seen->mutex);
    seen->classes.emplace_back(sched_getscheduler(0), io);
  };
  DuplicateFileFinder duplicates;
  LargeFileScanner large;
  duplicates.startScanDuplicateFiles(tree.root(), record);
  large.startScanLargeFiles(tree.root(), 0, record);
  DuplicateFileFinder::stopAllScans();
  LargeFileScanner::stopAllScans();
  ASSERT_EQ(seen->classes.size(), 2u);
  for (const auto &[policy, io] : seen->classes) {
    EXPECT_EQ(policy, SCHED_IDLE);
    EXPECT_EQ(IOPRIO_PRIO_CLASS(io), IOPRIO_CLASS_IDLE);
  }
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
  EXPECT_NE(IOPRIO_PRIO_CLASS(syscall(SYS_ioprio_get, IOPRIO_WHO_PROCESS, 0)), IOPRIO_CLASS_IDLE);
}

TEST(DuplicateFilesAsync, StopAndAddRules) {
  TempTree tree;
  for (int i = 0; i < 50; ++i)
    tree.write(QString("d/%1").arg(i), QByteArray(i + 1, 'x'));
  const QString a = tree.write("cover/sub/a", "same");
  const QString b = tree.write("cover/b", "same");
  DuplicateFileFinder finder;

  auto stopped = MessageLog::create();
  const int first = finder.startScanDuplicateFiles(tree.path("d"), stopped->callback(stopped));
  EXPECT_TRUE(finder.stopScanDuplicateFiles(first));
  EXPECT_TRUE(finder.stopScanDuplicateFiles(first));
  EXPECT_FALSE(finder.addScanDuplicateFilesFolder(first, tree.path("cover")));
  ASSERT_TRUE(stopped->waitForEnd());
  EXPECT_TRUE(stopped->wellFormed());
  EXPECT_EQ(stopped->last().type, "stopped");
  EXPECT_FALSE(finder.stopScanDuplicateFiles(first));

  // A folder already covered by a queued one is walked again, its files counted once.
  auto extended = MessageLog::create();
  const int second = finder.startScanDuplicateFiles(tree.path("d"), extended->callback(extended));
  EXPECT_EQ(second, first + 1);
  ASSERT_TRUE(finder.addScanDuplicateFilesFolder(second, tree.path("cover")));
  ASSERT_TRUE(finder.addScanDuplicateFilesFolder(second, tree.path("cover/sub")));
  ASSERT_TRUE(extended->waitForEnd());
  EXPECT_EQ(extended->last().type, "done");
  const QJsonArray groups = groupsOf(extended->last().data);
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(setOf(filesOf(groups.at(0))), QSet<QString>({a, b}));
  EXPECT_EQ(filesOf(groups.at(0)).size(), 2);
  EXPECT_FALSE(finder.addScanDuplicateFilesFolder(second, tree.path("cover")));
}

TEST(DuplicateFiles, BothFormsFindTheSameFilesInTheSameOrder) {
  TempTree tree;
  for (int i = 0; i < 24; ++i) {
    tree.write(QString("d%1/e%2/copy%3").arg(i % 5).arg(i % 3).arg(i), "the same bytes");
    tree.write(QString("d%1/other%2").arg(i % 4).arg(i),
               QByteArray(100 + i % 6, char('a' + i % 6)));
  }
  DuplicateFileFinder finder;
  const QString immediate = finder.findDuplicateFiles(tree.root());
  EXPECT_EQ(groupsOf(immediate).size(), 7);
  EXPECT_EQ(immediate, runAsync(finder, tree.root()));
}

// A folder is no regular file: it gives no digest, never the digest of the
// bytes read before a failed read; neither does a file that is no longer the
// one that was found.
TEST(FileDigestReads, AFailedReadGivesNoDigestRatherThanThatOfAnEmptyFile) {
  TempTree tree;
  const QString empty = tree.write("empty", QByteArray());
  const QString unreadable = tree.mkdir("unreadable");
  tree.mkdir("other");
  const UniqueFd folder = FileWalker::openDirectory(QFile::encodeName(tree.root()), false);
  const auto found = [&folder](const char *name) {
    struct stat status;
    ::fstatat(folder.get(), name, &status, AT_SYMLINK_NOFOLLOW);
    return std::make_unique<ReadOnlyFile>(
        folder.get(), name, FileId{quint64(status.st_dev), quint64(status.st_ino)}, status.st_size);
  };
  FileDigest digest;
  EXPECT_EQ(digest.ofFile(empty), QByteArray(emptyDigest));
  EXPECT_TRUE(digest.ofFile(unreadable).isEmpty());
  quint64 key = 0;
  EXPECT_FALSE(digest.prefixKey(*found("unreadable"), key));
  EXPECT_TRUE(digest.prefixKey(*found("empty"), key));
  std::vector<std::unique_ptr<ReadOnlyFile>> files;
  files.push_back(found("unreadable"));
  files.push_back(found("empty"));
  files.push_back(found("other"));
  const QVector<QByteArray> copies = digest.ofCopies(files);
  EXPECT_TRUE(copies.at(0).isEmpty());
  EXPECT_TRUE(copies.at(1).isEmpty()); // no readable copy of it is listed
  EXPECT_TRUE(copies.at(2).isEmpty());

  // Replaced by another file of the same size after it was found.
  tree.write("swapped", "12345");
  EXPECT_FALSE(digest.ofFile(*found("swapped")).isEmpty());
  struct stat status;
  ::fstatat(folder.get(), "swapped", &status, 0);
  const FileId first{quint64(status.st_dev), quint64(status.st_ino)};
  ASSERT_TRUE(QFile::rename(tree.path("swapped"), tree.path("kept"))); // so its inode is not reused
  tree.write("swapped", "54321");
  ReadOnlyFile replaced(folder.get(), "swapped", first, 5);
  EXPECT_FALSE(replaced.isOpen());
  EXPECT_TRUE(digest.ofFile(replaced).isEmpty());
  ReadOnlyFile resized(folder.get(), "kept", first, 4);
  EXPECT_FALSE(resized.isOpen());
}

// The groups text is put together from pieces; it must be exactly what
// QJsonDocument writes for the same groups, escapes and number forms too.
TEST(DuplicateGroupsText, IsQJsonDocumentsIndentedForm) {
  const auto record = [](const QString &path, qint64 size) {
    FileRecord found;
    found.path = path;
    found.size = size;
    found.modifiedSecs = 1700000000 + size % 1000;
    return found;
  };
  const QList<QPair<QByteArray, FileRecord>> added = {
      {"bb", record("/a/quote\"back\\slash\x01\ttab", 12345678901)},
      {"aa", record(QString::fromUtf8("/b/\xE6\xBD\xAE \xF0\x9F\x98\x80 \xEE\xBF\xA9"), 0)},
      {"bb", record("/c/second", 12345678901)},
      {"aa", record("/d/x", 0)},
      {"cc", record("/e/alone", 7)},
      {"aa", record("/f/y", 0)},
      {"dd", record("/g/\"only\" quotes\\and \x7f", 42)},
      {"dd", record(QStringLiteral("/h/lone ") + QChar(0xD800) + QStringLiteral(" half"), 42)},
      {"dd", record(QString::fromUtf8("/i/caf\xC3\xA9"), 42)}};
  DigestGroups groups;
  QMap<QByteArray, QJsonArray> expectedFiles;
  QMap<QByteArray, double> expectedSize;
  EXPECT_EQ(groups.toText(), JsonText::indented(QJsonObject{{"groups", QJsonArray()}}));
  for (const auto &[digest, found] : added) {
    groups.add(digest, found);
    if (!expectedFiles.contains(digest))
      expectedSize[digest] = double(found.size);
    expectedFiles[digest].append(found.toJson());
  }
  QJsonArray expected;
  for (auto it = expectedFiles.constBegin(); it != expectedFiles.constEnd(); ++it) {
    if (it.value().size() >= 2)
      expected.append(QJsonObject{{"files", it.value()},
                                  {"hash", QString::fromLatin1(it.key())},
                                  {"size", expectedSize[it.key()]}});
  }
  EXPECT_EQ(groups.toText(), JsonText::indented(QJsonObject{{"groups", expected}}));
  int groupCount, fileCount;
  groups.count(groupCount, fileCount);
  EXPECT_EQ(groupCount, 3);
  EXPECT_EQ(fileCount, 8);
}
