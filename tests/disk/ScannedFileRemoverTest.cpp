// Deleting what a scan listed while another program changes the files: the
// copy whose kept file changed survives, and so does every file that is no
// longer the one listed.
#include "disk/ScannedFileRemover.h"
#include "disk/DuplicateFileFinder.h"
#include "disk/LargeFileScanner.h"

#include "DiskTestSupport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QMap>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QString sha256(const QByteArray &content) {
  return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

// The result for each path.
QMap<QString, QString> removeListed(const QJsonObject &request) {
  auto log = MessageLog::create();
  ScannedFileRemover remover;
  const int id = remover.deleteScannedFiles(QString::fromUtf8(QJsonDocument(request).toJson()),
                                            log->callback(log));
  EXPECT_TRUE(log->waitForEnd());
  EXPECT_EQ(log->last().type, "done");
  EXPECT_EQ(log->last().id, id);
  QMap<QString, QString> results;
  for (const QJsonValue &answer : parseObject(log->last().data).value("list").toArray())
    results.insert(answer["path"].toString(), answer["result"].toString());
  return results;
}

QJsonObject group(const QByteArray &content, const QString &keep, const QStringList &copies) {
  return {
      {"hash", sha256(content)}, {"keep", keep}, {"delete", QJsonArray::fromStringList(copies)}};
}

// Another program writes the file where it is, at the same size, and sets its
// time back: only its content tells.
void rewriteInPlace(const QString &path, const QByteArray &content) {
  struct stat before;
  ASSERT_EQ(stat(path.toLocal8Bit().constData(), &before), 0);
  const int fd = open(path.toLocal8Bit().constData(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, content.constData(), size_t(content.size())), content.size());
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
}

// Another program saves the file anew: a new inode under the same name, with
// the old time.
void replace(const QString &path, const QByteArray &content) {
  struct stat before;
  ASSERT_EQ(stat(path.toLocal8Bit().constData(), &before), 0);
  QFile file(path + ".new");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(content);
  file.close();
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, (path + ".new").toLocal8Bit().constData(), times, 0), 0);
  ASSERT_EQ(rename((path + ".new").toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
}

void scanDuplicates(const QString &folder, bool background) {
  DuplicateFileFinder finder;
  if (!background) {
    finder.findDuplicateFiles(folder);
    return;
  }
  auto log = MessageLog::create();
  finder.startScanDuplicateFiles(folder, log->callback(log));
  ASSERT_TRUE(log->waitForEnd());
}

} // namespace

TEST(ScannedFileRemover, CopiesOfAKeptFileChangedSinceTheScanSurviveAndUnchangedGroupsGo) {
  const QByteArray text = "the kept text", other = "another group's text";
  for (const bool background : {false, true}) {
    for (const bool inPlace : {true, false}) {
      SCOPED_TRACE(std::string(background ? "background" : "immediate") +
                   (inPlace ? ", rewritten" : ", replaced"));
      TempTree tree;
      const QString kept = tree.write("a/kept", text), copy = tree.write("b/copy", text);
      const QString first = tree.write("c/first", other), second = tree.write("c/second", other);
      scanDuplicates(tree.root(), background);
      if (inPlace)
        rewriteInPlace(kept, "THE KEPT TEXT");
      else
        replace(kept, text); // the same text, but not the file listed
      const QMap<QString, QString> results = removeListed(
          {{"groups", QJsonArray{group(text, kept, {copy}), group(other, first, {second})}}});
      EXPECT_EQ(results.value(copy), "keptChanged");
      EXPECT_TRUE(QFile::exists(copy));
      EXPECT_EQ(results.value(second), "deleted");
      EXPECT_FALSE(QFile::exists(second));
      EXPECT_TRUE(QFile::exists(first));
      EXPECT_EQ(results.size(), 2);
    }
  }
}

TEST(ScannedFileRemover, ACopyChangedSinceTheScanKeepsItsWholeGroup) {
  const QByteArray text = "0123456789";
  for (const bool inPlace : {true, false}) {
    SCOPED_TRACE(inPlace ? "rewritten" : "touched");
    TempTree tree;
    const QString kept = tree.write("kept", text), first = tree.write("one/copy", text),
                  second = tree.write("two/copy", text);
    scanDuplicates(tree.root(), false);
    if (inPlace) {
      rewriteInPlace(second, "9876543210");
    } else { // the same content, written again later
      const struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, second.toLocal8Bit().constData(), times, 0), 0);
    }
    const QMap<QString, QString> results =
        removeListed({{"groups", QJsonArray{group(text, kept, {first, second})}}});
    EXPECT_EQ(results.value(first), "changed");
    EXPECT_EQ(results.value(second), "changed");
    EXPECT_TRUE(QFile::exists(first) && QFile::exists(second) && QFile::exists(kept));
  }
}

TEST(ScannedFileRemover, OnlyLargeFilesStillAsListedAreDeleted) {
  TempTree tree;
  const QByteArray big(20000, 'b');
  const QString replaced = tree.write("listed/replaced.bin", big),
                touched = tree.write("listed/touched.bin", big),
                kept = tree.write("listed/kept.bin", big),
                stranger = tree.write("other/stranger.bin", big);
  LargeFileScanner scanner;
  auto log = MessageLog::create();
  scanner.startScanLargeFiles(tree.path("listed"), 10000, log->callback(log));
  ASSERT_TRUE(log->waitForEnd());
  replace(replaced, QByteArray(20000, 'n'));
  // Written again within the same second as the time listed.
  struct stat listed;
  ASSERT_EQ(stat(touched.toLocal8Bit().constData(), &listed), 0);
  const int fd = open(touched.toLocal8Bit().constData(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const QByteArray rewritten(20000, 'w');
  ASSERT_EQ(write(fd, rewritten.constData(), size_t(rewritten.size())), rewritten.size());
  struct timespec times[2] = {listed.st_atim, listed.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(futimens(fd, times), 0);
  close(fd);
  const auto file = [](const QString &path, qint64 size) {
    return QJsonObject{{"path", path}, {"size", double(size)}};
  };
  const QMap<QString, QString> results = removeListed({{"files", QJsonArray{
                                                                     file(replaced, 20000),
                                                                     file(touched, 20000),
                                                                     file(kept, 20000),
                                                                     file(stranger, 20000),
                                                                 }}});
  EXPECT_EQ(results.value(replaced), "changed");
  EXPECT_EQ(results.value(touched), "changed");
  EXPECT_EQ(tree.read("listed/replaced.bin"), QByteArray(20000, 'n'));
  EXPECT_EQ(results.value(stranger), "notListed") << "never listed by a scan";
  EXPECT_TRUE(QFile::exists(stranger));
  EXPECT_EQ(results.value(kept), "deleted");
  EXPECT_FALSE(QFile::exists(kept));
}
