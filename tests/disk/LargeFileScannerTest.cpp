#include "disk/LargeFileScanner.h"
#include "disk/FolderList.h"

#include "DiskTestSupport.h"

#include <QFile>
#include <QJsonArray>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QJsonArray listOf(const QString &text) {
  return parseObject(text).value("list").toArray();
}

QStringList pathsOf(const QJsonArray &list) {
  QStringList paths;
  for (const QJsonValue &item : list)
    paths.append(item.toObject().value("path").toString());
  return paths;
}

QString jsonArrayOf(const QStringList &items) {
  return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(items)).toJson());
}

} // namespace

TEST(FolderList, ArrayOrCommaListWithTrimmingAndNoEmptyEntries) {
  EXPECT_TRUE(FolderList::parse("").isEmpty());
  EXPECT_TRUE(FolderList::parse(" , ,,").isEmpty());
  EXPECT_TRUE(FolderList::parse("[]").isEmpty());
  EXPECT_EQ(FolderList::parse(" /a , /b,/a "), QStringList({"/a", "/b", "/a"}));
  EXPECT_EQ(FolderList::parse("/one/folder"), QStringList({"/one/folder"}));
  EXPECT_EQ(FolderList::parse(R"(["/with,comma", " /kept ", 5, ""])"),
            QStringList({"/with,comma", " /kept "}));
  // Not an array: the text is a comma list, quotes and all.
  EXPECT_EQ(FolderList::parse(R"({"a": 1})"), QStringList({R"({"a": 1})"}));
}

TEST(FolderList, ExpandsKnownVariablesOnly) {
  qputenv("TW_DISK_TEST_A", "/alpha");
  qunsetenv("TW_DISK_TEST_MISSING");
  EXPECT_EQ(FolderList::expand("%TW_DISK_TEST_A%/x"), "/alpha/x");
  EXPECT_EQ(FolderList::expand("%TW_DISK_TEST_MISSING%/x"), "%TW_DISK_TEST_MISSING%/x");
  EXPECT_EQ(FolderList::expand("50%/%TW_DISK_TEST_A%"), "50%//alpha"); // "%/%" names nothing
  EXPECT_EQ(FolderList::expand("a%%b%"), "a%%b%");
  EXPECT_EQ(FolderList::expand("%TW_DISK_TEST_A"), "%TW_DISK_TEST_A");
  // A result that does not fit the expansion buffer leaves the folder as written.
  qputenv("TW_DISK_TEST_LONG", QByteArray(1030, 'x'));
  EXPECT_EQ(FolderList::expand("/%TW_DISK_TEST_LONG%/123456789"), "/%TW_DISK_TEST_LONG%/123456789");
  EXPECT_EQ(FolderList::expand("/%TW_DISK_TEST_LONG%/1234567").size(), 1039);
}

TEST(LargeFileScan, EmptyFolderListsGiveEmptyList) {
  LargeFileScanner scanner;
  EXPECT_EQ(scanner.scanLargeFiles("", 0), "{\n    \"list\": [\n    ]\n}\n");
  EXPECT_TRUE(listOf(scanner.scanLargeFiles(" , ", 0)).isEmpty());
  EXPECT_TRUE(listOf(scanner.scanLargeFiles("/no/such/folder", 0)).isEmpty());
}

TEST(LargeFileScan, MinimumFiltersAndLinksAndHiddenEntriesAreSkipped) {
  TempTree tree;
  tree.write("a/one", "1");
  tree.write("a/zero", "");
  tree.write("a/ten", QByteArray(10, 'x'));
  tree.write("a/sub/deep/also-ten", QByteArray(10, 'y'));
  tree.write("a/.hidden", QByteArray(50, 'h'));
  tree.write("a/.hidden-dir/inside", QByteArray(50, 'h'));
  tree.write("outside/big", QByteArray(100, 'b'));
  QFile::link(tree.path("outside/big"), tree.path("a/link-to-file"));
  QFile::link(tree.path("outside"), tree.path("a/link-to-dir"));
  LargeFileScanner scanner;

  const QJsonArray exact = listOf(scanner.scanLargeFiles(tree.path("a"), 10));
  ASSERT_EQ(exact.size(), 2); // equal sizes both present, the minimum itself kept
  EXPECT_EQ(setOf(pathsOf(exact)),
            QSet<QString>({tree.path("a/ten"), tree.path("a/sub/deep/also-ten")}));

  EXPECT_EQ(pathsOf(listOf(scanner.scanLargeFiles(tree.path("a"), 1.5f))).size(), 3);
  EXPECT_EQ(pathsOf(listOf(scanner.scanLargeFiles(tree.path("a"), 0))).size(), 4);
  EXPECT_EQ(pathsOf(listOf(scanner.scanLargeFiles(tree.path("a"), -7))).size(), 4);
  EXPECT_TRUE(listOf(scanner.scanLargeFiles(tree.path("a"), 11)).isEmpty());
}

TEST(LargeFileScan, RecordsAreSortedWithTheirFields) {
  TempTree tree;
  tree.write("small", QByteArray(3, 's'));
  tree.write("large.bin", QByteArray(300, 'l'));
  tree.write("mid", QByteArray(30, 'm'));
  QFile large(tree.path("large.bin"));
  ASSERT_TRUE(large.open(QIODevice::ReadWrite));
  ASSERT_TRUE(large.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(17, 4, 59)),
                                QFileDevice::FileModificationTime));
  large.close();
  const QJsonArray list = listOf(LargeFileScanner().scanLargeFiles(tree.root() + "/", 0));
  ASSERT_EQ(list.size(), 3);
  const QJsonObject first = list.at(0).toObject();
  EXPECT_EQ(first.keys(), QStringList({"modifiedTime", "name", "path", "size"}));
  EXPECT_EQ(first.value("name").toString(), "large.bin");
  EXPECT_EQ(first.value("path").toString(), tree.path("large.bin"));
  EXPECT_EQ(first.value("size").toDouble(), 300.0);
  EXPECT_EQ(first.value("modifiedTime").toString(), "2024-03-05 17:04");
  EXPECT_EQ(list.at(1).toObject().value("size").toDouble(), 30.0);
  EXPECT_EQ(list.at(2).toObject().value("size").toDouble(), 3.0);
}

TEST(LargeFileScan, FolderListFormsAndExpansion) {
  TempTree tree;
  tree.write("x,y/in-comma-folder", "12345");
  tree.write("p/f", "12345");
  tree.write("q/g", "12345");
  LargeFileScanner scanner;
  EXPECT_EQ(listOf(scanner.scanLargeFiles(jsonArrayOf({tree.path("x,y")}), 0)).size(), 1);
  EXPECT_EQ(listOf(scanner.scanLargeFiles(tree.path("p") + " ,  " + tree.path("q"), 0)).size(), 2);
  // A folder and its parent, or a folder given twice, list its files once.
  EXPECT_EQ(
      listOf(scanner.scanLargeFiles(tree.path("p") + "," + tree.root() + "," + tree.path("p"), 0))
          .size(),
      3);

  qputenv("TW_DISK_TEST_ROOT", tree.root().toLocal8Bit());
  const QJsonArray expanded = listOf(scanner.scanLargeFiles("%TW_DISK_TEST_ROOT%/p", 0));
  ASSERT_EQ(expanded.size(), 1);
  EXPECT_EQ(expanded.at(0).toObject().value("path").toString(), tree.path("p/f"));

  // The tests run with TMPDIR pointing at a fresh folder.
  const QString tmp = qEnvironmentVariable("TMPDIR");
  ASSERT_FALSE(tmp.isEmpty());
  QFile file(tmp + "/in-tmpdir");
  file.open(QIODevice::WriteOnly);
  file.write("abc");
  file.close();
  const QStringList found = pathsOf(listOf(scanner.scanLargeFiles("%TMPDIR%", 3)));
  EXPECT_TRUE(found.contains(QFileInfo(tmp).absoluteFilePath() + "/in-tmpdir"));
}

// Hidden entries the scan would have looked at are counted; asked for, they
// are listed. Other names of one file are each listed.
TEST(LargeFileScan, HiddenEntriesCountedOrListedAndHardLinksKept) {
  TempTree tree;
  tree.write("top/.cache/big", QByteArray(100, 'h'));
  tree.write("top/.large", QByteArray(100, 'l'));
  tree.write("top/.small", "x"); // below the minimum: not counted
  tree.write("top/seen/a", QByteArray(100, 'a'));
  ASSERT_EQ(::link(QFile::encodeName(tree.path("top/seen/a")).constData(),
                   QFile::encodeName(tree.path("top/seen/b")).constData()),
            0);
  const QString plain = jsonArrayOf({tree.path("top")});
  const QString hidden = QString::fromUtf8(
      QJsonDocument(QJsonArray{tree.path("top"), QJsonObject{{"hidden", true}}}).toJson());
  const QStringList seen{tree.path("top/seen/a"), tree.path("top/seen/b")};
  const QStringList all = seen + QStringList{tree.path("top/.cache/big"), tree.path("top/.large")};
  LargeFileScanner scanner;
  const auto check = [&](const QString &text, const QStringList &expected, int skipped) {
    QStringList paths = pathsOf(listOf(text));
    paths.sort();
    QStringList sorted = expected;
    sorted.sort();
    EXPECT_EQ(paths, sorted);
    EXPECT_EQ(parseObject(text).value("skippedHidden").toInt(), skipped);
  };
  check(scanner.scanLargeFiles(plain, 50), seen, 2);
  check(scanner.scanLargeFiles(hidden, 50), all, 0);
  for (const QString &argument : {plain, hidden}) {
    auto log = MessageLog::create();
    scanner.startScanLargeFiles(argument, 50, log->callback(log));
    ASSERT_TRUE(log->waitForEnd());
    check(log->last().data, argument == plain ? seen : all, argument == plain ? 2 : 0);
  }
}

TEST(LargeFileScanAsync, EmptyListEndsAtOnceWithDoneAndNoProgress) {
  LargeFileScanner scanner;
  auto log = MessageLog::create();
  const int id = scanner.startScanLargeFiles(" , ", 0, log->callback(log));
  ASSERT_TRUE(log->waitForEnd());
  const std::vector<MessageLog::Message> all = log->messages();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].type, "done");
  EXPECT_EQ(all[0].id, id);
  EXPECT_EQ(all[0].keys, QStringList({"type", "id", "data"}));
  EXPECT_TRUE(listOf(all[0].data).isEmpty());
  EXPECT_FALSE(scanner.stopScanLargeFiles(id));
  EXPECT_FALSE(scanner.addScanLargeFilesFolder(id, "/"));
}

TEST(LargeFileScanAsync, IdsIncreaseAndTheWalkIsBreadthFirstAndRepeatable) {
  TempTree tree;
  tree.write("top/a", QByteArray(5, 'a'));
  tree.write("top/sub/b", QByteArray(6, 'b'));
  tree.write("top/sub/deeper/c", QByteArray(7, 'c'));
  tree.write("top/.hid/d", QByteArray(8, 'd'));
  LargeFileScanner scanner;
  auto first = MessageLog::create();
  auto second = MessageLog::create();
  const int a = scanner.startScanLargeFiles(jsonArrayOf({tree.path("top"), tree.path("top/sub")}),
                                            6, first->callback(first));
  const int b = scanner.startScanLargeFiles(tree.path("top"), 0, second->callback(second));
  EXPECT_EQ(b, a + 1);
  ASSERT_TRUE(first->waitForEnd());
  ASSERT_TRUE(second->waitForEnd());
  EXPECT_TRUE(first->wellFormed());
  EXPECT_EQ(first->last().type, "done");
  EXPECT_EQ(first->last().id, a);
  // top/sub is given and also reached from top: its files appear once.
  EXPECT_EQ(pathsOf(listOf(first->last().data)),
            QStringList({tree.path("top/sub/deeper/c"), tree.path("top/sub/b")}));
  EXPECT_EQ(listOf(second->last().data).size(), 3);
}

// A long queue made of one small folder given many times keeps a scan busy
// without a large tree.
QString manyTimes(const QString &folder, int count) {
  QStringList folders;
  for (int i = 0; i < count; ++i)
    folders.append(folder);
  return jsonArrayOf(folders);
}

TEST(LargeFileScanAsync, StopTwiceThenFalseAndNoAdditionsAfterStop) {
  TempTree tree;
  // A folder whose listing takes a while, so the worker is still in it when
  // the second stop comes, however the threads are scheduled.
  for (int i = 0; i < 5000; ++i)
    tree.write(QString("wide/f%1").arg(i), "x");
  tree.write("wide/sub/f", "x");
  LargeFileScanner scanner;
  auto log = MessageLog::create();
  const int id =
      scanner.startScanLargeFiles(manyTimes(tree.path("wide"), 2000), 0, log->callback(log));
  EXPECT_TRUE(scanner.stopScanLargeFiles(id));
  EXPECT_TRUE(scanner.stopScanLargeFiles(id));
  EXPECT_FALSE(scanner.addScanLargeFilesFolder(id, tree.path("wide")));
  ASSERT_TRUE(log->waitForEnd());
  EXPECT_TRUE(log->wellFormed());
  EXPECT_EQ(log->last().type, "stopped");
  EXPECT_LT(listOf(log->last().data).size(), 2000 * 5001); // the queued folders were dropped
  EXPECT_FALSE(scanner.stopScanLargeFiles(id));
  EXPECT_FALSE(scanner.addScanLargeFilesFolder(id, tree.path("wide")));
}

TEST(LargeFileScanAsync, AddedFoldersAreWalkedAndTheirFilesListedOnce) {
  TempTree tree;
  tree.write("slow/f", "x");
  tree.write("extra/big", QByteArray(1000, 'e'));
  LargeFileScanner scanner;
  auto log = MessageLog::create();
  const int id =
      scanner.startScanLargeFiles(manyTimes(tree.path("slow"), 2000), 0, log->callback(log));
  ASSERT_TRUE(scanner.addScanLargeFilesFolder(id, tree.path("extra")));
  ASSERT_TRUE(scanner.addScanLargeFilesFolder(id, tree.path("extra")));
  ASSERT_TRUE(log->waitForEnd());
  EXPECT_EQ(log->last().type, "done");
  const QStringList paths = pathsOf(listOf(log->last().data));
  EXPECT_EQ(paths, QStringList({tree.path("extra/big"), tree.path("slow/f")}));
  // After the end the queue is closed.
  EXPECT_FALSE(scanner.addScanLargeFilesFolder(id, tree.path("extra")));
}

TEST(LargeFileScanAsync, ProgressCarriesTheSortedListSoFar) {
  TempTree tree;
  tree.write("one/file", QByteArray(4, 'f'));
  tree.write("two/file", QByteArray(9, 'f'));
  LargeFileScanner scanner;
  auto log = MessageLog::create();
  // "two" first, then a queue long enough that the worker cannot drain it
  // (and close it) before the additions begin, however it is scheduled.
  QStringList folders(QStringList() << tree.path("two"));
  for (int i = 0; i < 20000; ++i)
    folders.append(tree.path("one"));
  const int id = scanner.startScanLargeFiles(jsonArrayOf(folders), 0, log->callback(log));
  // Keep the queue busy until the half-second progress interval has passed;
  // batches far longer than the worker walks between two of them, so the
  // queue never runs dry and closes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool progressed = false;
  while (!progressed && std::chrono::steady_clock::now() < deadline) {
    for (int i = 0; i < 5000; ++i)
      ASSERT_TRUE(scanner.addScanLargeFilesFolder(id, tree.path("one")));
    for (const MessageLog::Message &message : log->messages())
      progressed = progressed || message.type == "progress";
  }
  ASSERT_TRUE(progressed);
  ASSERT_TRUE(scanner.stopScanLargeFiles(id));
  ASSERT_TRUE(log->waitForEnd());
  ASSERT_TRUE(log->wellFormed());
  EXPECT_EQ(log->last().type, "stopped");
  int previous = 0;
  for (const MessageLog::Message &message : log->messages()) {
    EXPECT_EQ(message.id, id);
    const QJsonArray list = listOf(message.data);
    EXPECT_GE(list.size(), previous);
    previous = list.size();
    EXPECT_EQ(list.at(0).toObject().value("size").toDouble(), 9.0); // largest first
  }
}
