// The space map's sums against du on trees that are hard to walk (deeper
// than the walker keeps open, a folder of more files than are kept by name,
// a name that is not UTF-8), and deleting from the map while another program
// swaps a folder for a link.
#include "disk/SpaceMapScanner.h"
#include "disk/ScannedFileRemover.h"
#include "platform/storage/FileName.h"

#include "DiskTestSupport.h"

#include <QJsonArray>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

double du(const char *flag, const QString &path) {
  QProcess process;
  process.start(QStringLiteral("du"),
                {QStringLiteral("-x"), QStringLiteral("-s"), QLatin1String(flag), path});
  process.waitForFinished();
  return process.readAllStandardOutput().split('\t').first().toDouble();
}

int scan(SpaceMapScanner &scanner, const QString &folder, QString &end) {
  auto log = MessageLog::create();
  const int id = scanner.startScanSpaceMap(folder, log->callback(log));
  EXPECT_TRUE(log->waitForEnd());
  EXPECT_TRUE(log->wellFormed());
  end = log->last().type;
  return id;
}

QJsonObject children(SpaceMapScanner &scanner, int id, const QString &path, bool apparent) {
  return parseObject(scanner.spaceMapChildren(id, path, apparent));
}

QJsonObject itemNamed(const QJsonObject &listing, const QString &name) {
  for (const QJsonValue &item : listing["items"].toArray())
    if (item["name"].toString() == name)
      return item.toObject();
  return {};
}

} // namespace

TEST(SpaceMapScanner, SumsAsDuDoesWhereTheTreeIsHardToWalk) {
  TempTree tree;
  QString deep = QStringLiteral("deep");
  for (int level = 0; level < 40; ++level) { // deeper than the walker keeps open
    tree.write(deep + QStringLiteral("/f.txt"), QByteArray(100 + level * 700, 'd'));
    deep += QStringLiteral("/d");
  }
  for (int n = 0; n < 100; ++n)
    tree.write(QStringLiteral("flat/f%1.bin").arg(n), QByteArray(n * 1000, 'f'));
  for (int n = 0; n <= 2000; ++n) // more than a listing names
    tree.mkdir(QStringLiteral("many/%1").arg(n));
  QFile sparse(tree.path("flat/sparse.img")); // big to look at, 4 KiB on disk
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  sparse.seek(4 << 20);
  sparse.write(QByteArray(4096, 's'));
  sparse.resize(16 << 20);
  sparse.close();
  ASSERT_EQ(::link(QFile::encodeName(tree.path("flat/f99.bin")).constData(),
                   QFile::encodeName(tree.path("flat/f99-again.bin")).constData()),
            0);
  const QByteArray oddBytes = QFile::encodeName(tree.root()) + "/odd-\xff\xfe";
  ASSERT_EQ(::mkdir(oddBytes.constData(), 0700), 0);
  const int inside = ::open((oddBytes + "/inside.txt").constData(), O_WRONLY | O_CREAT, 0600);
  QFile insideFile;
  ASSERT_TRUE(insideFile.open(inside, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
  ASSERT_EQ(insideFile.write(QByteArray(9000, 'o')), 9000);
  insideFile.close();
  const QString odd = FileName::fromBytes(oddBytes.mid(oddBytes.lastIndexOf('/') + 1));

  SpaceMapScanner scanner;
  QString end;
  const int id = scan(scanner, tree.root(), end);
  ASSERT_EQ(end, "done");
  const QJsonObject top = children(scanner, id, tree.root(), false);
  EXPECT_TRUE(top["complete"].toBool());
  EXPECT_EQ(top["allocated"].toDouble(), du("-B1", tree.root()));
  EXPECT_EQ(children(scanner, id, tree.root(), true)["apparent"].toDouble(), du("-b", tree.root()));
  for (const QString &name :
       {QStringLiteral("deep"), QStringLiteral("flat"), QStringLiteral("many")}) {
    EXPECT_EQ(itemNamed(top, name)["allocated"].toDouble(), du("-B1", tree.path(name)))
        << name.toStdString();
    EXPECT_EQ(itemNamed(top, name)["apparent"].toDouble(), du("-b", tree.path(name)))
        << name.toStdString();
  }
  EXPECT_EQ(
      children(scanner, id, tree.path(deep.section('/', 0, -2)), false)["items"].toArray().size(),
      1);
  const QJsonObject oddItem = itemNamed(children(scanner, id, tree.path(odd), false), "inside.txt");
  EXPECT_EQ(oddItem["kind"], "document");
  EXPECT_EQ(oddItem["apparent"].toDouble(), 9000);
  EXPECT_EQ(FileName::toBytes(oddItem["path"].toString()), oddBytes + "/inside.txt");

  // The largest 64 by either size keep their names, the sparse file among
  // them; the second name of f99 counts nothing.
  const QJsonObject flat = children(scanner, id, tree.path("flat"), true);
  const QJsonArray items = flat["items"].toArray();
  ASSERT_EQ(items.size(), 64);
  EXPECT_EQ(items[0]["name"], "sparse.img");
  EXPECT_EQ(items[0]["share"].toDouble(), double(16 << 20) / flat["apparent"].toDouble());
  EXPECT_EQ(items[63]["name"], "f37.bin");
  EXPECT_EQ(flat["rest"]["count"].toDouble(), 101 - 64);
  EXPECT_TRUE(itemNamed(flat, "f99.bin").isEmpty() != itemNamed(flat, "f99-again.bin").isEmpty());
  double apparent = flat["rest"]["apparent"].toDouble();
  for (const QJsonValue &item : items)
    apparent += item["apparent"].toDouble();
  EXPECT_EQ(apparent, flat["apparent"].toDouble());

  ::unlink((oddBytes + "/inside.txt").constData()); // QDir cannot name it
  ::rmdir(oddBytes.constData());

  const QJsonObject many = children(scanner, id, tree.path("many"), false);
  EXPECT_EQ(many["items"].toArray().size(), 2000);
  EXPECT_EQ(many["rest"]["count"].toDouble(), 1);
  double listed = many["rest"]["allocated"].toDouble();
  for (const QJsonValue &item : many["items"].toArray())
    listed += item["allocated"].toDouble();
  EXPECT_EQ(listed, many["allocated"].toDouble());

  EXPECT_EQ(scanner.spaceMapChildren(id, tree.path("missing"), false), "");
  EXPECT_EQ(scanner.spaceMapChildren(id + 1, tree.root(), false), "");
  scan(scanner, tree.path("missing"), end);
  EXPECT_EQ(end, "error");
}

TEST(SpaceMapScanner, DeletesAFolderOnlyWhileItIsTheFolderShown) {
  TempTree tree;
  tree.write("keep/precious.txt", QByteArray(5000, 'k'));
  tree.write("swapped/a.txt", QByteArray(3000, 'a'));
  tree.write("gone/sub/b.txt", QByteArray(7000, 'b'));
  tree.write("gone/c.txt", QByteArray(100, 'c'));
  SpaceMapScanner scanner;
  QString end;
  const int id = scan(scanner, tree.root(), end);
  const QJsonObject top = children(scanner, id, tree.root(), false);

  // Another program moves swapped away and leaves a link to keep in its place.
  ASSERT_TRUE(QDir().rename(tree.path("swapped"), tree.path("elsewhere")));
  ASSERT_TRUE(QFile::link(tree.path("keep"), tree.path("swapped")));
  QJsonArray entries;
  for (const char *name : {"swapped", "gone"})
    entries.append(QJsonObject{{"path", tree.path(name)},
                               {"size", itemNamed(top, name)["apparent"].toDouble()}});
  auto log = MessageLog::create();
  ScannedFileRemover remover;
  remover.deleteScannedFiles(
      QString::fromUtf8(QJsonDocument(QJsonObject{{"entries", entries}}).toJson()),
      log->callback(log));
  ASSERT_TRUE(log->waitForEnd());
  QMap<QString, QString> results;
  for (const QJsonValue &answer : parseObject(log->last().data)["list"].toArray())
    results.insert(answer["path"].toString(), answer["result"].toString());
  EXPECT_EQ(results.value(tree.path("swapped")), "changed");
  EXPECT_EQ(results.value(tree.path("gone")), "deleted");
  EXPECT_TRUE(QFile::exists(tree.path("keep/precious.txt")));
  EXPECT_FALSE(QFileInfo::exists(tree.path("gone")));

  // The map lets go of what is gone and keeps what is still there.
  EXPECT_FALSE(scanner.forgetSpaceMapItem(id, tree.path("keep")));
  EXPECT_TRUE(scanner.forgetSpaceMapItem(id, tree.path("gone")));
  EXPECT_FALSE(scanner.forgetSpaceMapItem(id, tree.path("gone")));
  const QJsonObject after = children(scanner, id, tree.root(), false);
  EXPECT_EQ(after["allocated"].toDouble(),
            top["allocated"].toDouble() - itemNamed(top, "gone")["allocated"].toDouble());
  EXPECT_TRUE(itemNamed(after, "gone").isEmpty());
  EXPECT_EQ(scanner.spaceMapChildren(id, tree.path("gone/sub"), false), "");
}
