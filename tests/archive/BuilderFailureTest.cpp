// The build tools refuse what the format cannot hold, name the cause and
// the file, and leave no output file.
#include <sys/stat.h>
#include <unistd.h>

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
  void expectFailure(const QStringList &mentions, const QStringList &wrapper = {}) {
    QFile stale(out()); // an earlier run's archive must not survive a failed one
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    const BuildResult r = runBuilder(in(), out(), QString(), wrapper);
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

// Permission bits do not stop root, so as root the builder runs as nobody on a
// tree in a folder nobody may enter; the locked folder is the only obstacle.
TEST(BuilderUnreadable, FolderThatCannotBeReadFailsTheBuild) {
  const bool root = ::geteuid() == 0;
  QTemporaryDir dir(root ? QStringLiteral("/tmp/tw-builder-XXXXXX") : QString());
  ASSERT_TRUE(dir.isValid());
  QStringList wrapper;
  if (root) {
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    wrapper << "setpriv"
            << "--reuid=65534"
            << "--regid=65534"
            << "--clear-groups";
  }
  const QString in = dir.path() + "/in";
  const QString out = dir.path() + "/out.sar";
  writeTree(in, {{"common/ok.css", "body{}"}, {"common/locked/hidden.css", "x"}});
  ASSERT_TRUE(QFile::setPermissions(in + "/common/locked", QFileDevice::Permissions()));
  ASSERT_TRUE(QFile(out).open(QIODevice::WriteOnly));
  ASSERT_EQ(::chmod(QFile::encodeName(out).constData(), 0666), 0);
  const BuildResult r = runBuilder(in, out, QString(), wrapper);
  QFile::setPermissions(in + "/common/locked",
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  if (r.exitCode == -1 || r.errorOutput.startsWith("setpriv"))
    GTEST_SKIP() << "cannot run the builder as an unprivileged user: "
                 << r.errorOutput.toStdString();
  EXPECT_NE(0, r.exitCode);
  EXPECT_TRUE(r.errorOutput.contains("cannot read folder") &&
              r.errorOutput.contains(in + "/common/locked"))
      << r.errorOutput.toStdString();
  EXPECT_FALSE(QFile::exists(out));
}

TEST_F(BuilderFailure, OutputThatIsNoRegularFileIsLeftAlone) {
  const QString pipe = dir.path() + "/out.fifo";
  ASSERT_EQ(0, mkfifo(QFile::encodeName(pipe).constData(), 0600));
  const BuildResult r = runBuilder(in(), pipe);
  EXPECT_NE(0, r.exitCode);
  EXPECT_TRUE(r.errorOutput.contains("not a regular file")) << r.errorOutput.toStdString();
  struct stat status;
  ASSERT_EQ(0, ::lstat(QFile::encodeName(pipe).constData(), &status));
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
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
