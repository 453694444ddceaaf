// The build tools refuse what the format cannot hold, name the cause and
// the file, and leave no output file.
#include <sys/stat.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "engine/archive/ArchiveWriter.h"
#include "tests/archive/ArchiveTestSupport.h"

using namespace ArchiveTest;

namespace {

class BuilderFailure : public ::testing::Test {
protected:
  void SetUp() override { writeTree(in(), {{"common/ok.css", "body{}"}}); }
  QString in() const { return dir.path() + "/in"; }
  QString out() const { return dir.path() + "/out.sar"; }

  // Runs the builder, expects failure naming every part, and no output.
  void expectFailure(const QStringList &mentions) {
    QFile stale(out()); // an earlier run's archive must not survive a failed one
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    const BuildResult r = runBuilder(in(), out());
    EXPECT_NE(0, r.exitCode);
    for (const QString &m : mentions)
      EXPECT_TRUE(r.errorOutput.contains(m)) << r.errorOutput.toStdString();
    EXPECT_FALSE(QFile::exists(out()));
  }

  QTemporaryDir dir;
};

TEST_F(BuilderFailure, NonAsciiName) {
  writeTree(in(), {{QString::fromUtf8("common/über.css"), "x"}});
  expectFailure({"ASCII", QString::fromUtf8("über.css")});
}

TEST_F(BuilderFailure, NonAsciiLetterThatLowerCasesToAscii) {
  writeTree(in(), {{QString::fromUtf8("common/\u212Aey.css"), "x"}}); // Kelvin sign
  expectFailure({"ASCII", QString::fromUtf8("\u212Aey.css")});
}

TEST_F(BuilderFailure, NamesEqualOnceLowerCased) {
  writeTree(in(), {{"common/OK.css", "x"}});
  expectFailure({"same name", "common/OK.css", "common/ok.css"});
}

TEST_F(BuilderFailure, BrokenLink) {
  ASSERT_TRUE(QFile::link(dir.path() + "/nowhere", in() + "/common/gone.css"));
  expectFailure({"cannot read", "gone.css"});
}

TEST_F(BuilderFailure, PipeIsNotReadWithoutEnd) {
  ASSERT_EQ(0, mkfifo(QFile::encodeName(in() + "/common/pipe.css").constData(), 0600));
  expectFailure({"not a regular file", "pipe.css"});
}

TEST_F(BuilderFailure, MissingInputFolder) {
  QDir(in()).removeRecursively();
  expectFailure({"does not exist", in()});
}

TEST_F(BuilderFailure, TooManyNodes) {
  // 200 names of 180 characters that part after three: about 35000 nodes.
  std::map<QString, QByteArray> files;
  for (int i = 0; i < 200; ++i)
    files[QStringLiteral("d/%1%2").arg(i, 3, 10, QLatin1Char('0')).arg(QString(177, 'x'))] = "x";
  writeTree(in(), files);
  expectFailure({"too many index nodes", "32768", "d/18"});
}

// 32767 items need more than 32768 nodes, so the item limit is the writer's
// first check; tested on the writer, where 32768 items cost nothing.
TEST(ArchiveWriter, RefusesMoreThan32767Items) {
  ArchiveWriter w;
  for (int i = 0; i < 32768; ++i)
    w.add(QString::number(i), "x");
  QByteArray out;
  QString error;
  EXPECT_FALSE(w.build(&out, &error));
  EXPECT_TRUE(error.contains("too many items")) << error.toStdString();
  EXPECT_TRUE(out.isEmpty());
}

TEST(ArchiveWriter, FillsTheNodeLimitExactly) {
  // One name of 32767 characters and its end node: 32768 nodes.
  ArchiveWriter w;
  w.add(QString(32767, 'a'), "x");
  QByteArray out;
  QString error;
  EXPECT_TRUE(w.build(&out, &error)) << error.toStdString();
  ArchiveWriter over;
  over.add(QString(32768, 'a'), "x");
  EXPECT_FALSE(over.build(&out, &error));
}

QProcess *runGenerator(const QString &templ, const QString &output, const QStringList &values) {
  auto *p = new QProcess;
  p->start(QStringLiteral(BRANDCONFIG_GENERATOR), QStringList{templ, output} + values);
  p->waitForFinished(30000);
  return p;
}

TEST(BrandConfigGenerator, FillsEveryPlaceholderOnce) {
  QTemporaryDir dir;
  writeTree(dir.path(), {{"t.js", "export const A = \"{A}\";\nexport const N = {N};\n"}});
  std::unique_ptr<QProcess> p(
      runGenerator(dir.path() + "/t.js", dir.path() + "/o.js", {"A={N}", "N=10002"}));
  EXPECT_EQ(0, p->exitCode());
  EXPECT_EQ(QByteArray("export const A = \"{N}\";\nexport const N = 10002;\n"),
            readFile(dir.path() + "/o.js"));
}

TEST(BrandConfigGenerator, PlaceholderWithoutValueFailsWithoutOutput) {
  QTemporaryDir dir;
  writeTree(dir.path(), {{"t.js", "a {A} b {MISSING_ONE}"}});
  std::unique_ptr<QProcess> p(runGenerator(dir.path() + "/t.js", dir.path() + "/o.js", {"A=1"}));
  EXPECT_NE(0, p->exitCode());
  EXPECT_TRUE(p->readAllStandardError().contains("{MISSING_ONE}"));
  EXPECT_FALSE(QFile::exists(dir.path() + "/o.js"));
}

} // namespace
