// The system cleaners' allow-list and their privileged helper, run as root on
// a prepared tree that stands for the system's folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/SystemCleaners.h"
#include "platform/os/CommandRunner.h"

namespace {

QString write(const QString &path, int size) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  file.open(QIODevice::WriteOnly | QIODevice::Truncate);
  file.write(QByteArray(size, 'x'));
  return path;
}

CommandResult helper(const QString &program, const QStringList &arguments,
                     const QString &root = QString()) {
  if (!root.isEmpty())
    qputenv("TIDEWELL_CLEAN_TEST_ROOT", root.toLocal8Bit());
  const CommandResult result = CommandRunner::run(program, arguments, 60000);
  qunsetenv("TIDEWELL_CLEAN_TEST_ROOT");
  return result;
}

} // namespace

TEST(SystemCleaners, theHelperRunsOnlyAllowListedRootCleanersByName) {
  for (const QStringList &arguments :
       {QStringList{"clean", "/usr/bin/rm"}, QStringList{"clean", "../apt-archives"},
        QStringList{"clean", "journal-user"}, QStringList{"purge", "apt-archives"},
        QStringList{"clean"}}) {
    const CommandResult refused = helper(TW_CLEAN_HELPER, arguments);
    EXPECT_EQ(refused.exitCode, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(refused.output.isEmpty());
  }
  EXPECT_FALSE(SystemCleaners::isKnown("/var/log"));
  EXPECT_EQ(SystemCleaners().cleanHere("rm -rf /", {}).result, "refused");
}

TEST(SystemCleaners, theHelperDeletesOnlyWhatWasListedAndIsStillTheSame) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "the helper deletes as root, and this is not root";
  QTemporaryDir root;
  const QString logs = root.filePath("var/log");
  const QString gone = write(logs + "/syslog.1", 700);
  const QString deep = write(logs + "/apt/history.log.2.gz", 300);
  const QString live = write(logs + "/syslog", 50);
  const QString changed = write(logs + "/dpkg.log.1", 400);
  const QString replaced = write(logs + "/kern.log.1", 500);
  const QString victim = write(root.filePath("elsewhere/secret"), 60);
  QFile::link(victim, logs + "/auth.log.1");
  const QString linked = write(logs + "/mail.log.1", 80);
  ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                   QFile::encodeName(root.filePath("elsewhere/mail-copy")).constData()),
            0);
  const QString open = write(logs + "/shared/other.log.1", 90);
  ::chmod(QFile::encodeName(logs + "/shared").constData(), 0777);

  const SystemListing listing = SystemCleaners(root.path()).list("system-rotated-logs");
  QStringList paths;
  QStringList keys;
  for (const SystemItem &item : listing.items) {
    paths << item.path;
    keys << item.key;
  }
  paths.sort();
  EXPECT_EQ(paths, QStringList({deep, changed, replaced, gone}))
      << "no link, no second name, nothing in a folder others may change";
  EXPECT_EQ(listing.bytes(), 700 + 300 + 400 + 500);

  // Between the preview and the cleaning: one file grows, one is replaced
  // by another of the same size, a new one appears.
  QFile grow(changed);
  grow.open(QIODevice::Append);
  grow.write("more");
  grow.close();
  write(logs + "/kern.log.new", 500); // a new inode while the old one still exists
  ASSERT_TRUE(::rename(QFile::encodeName(logs + "/kern.log.new").constData(),
                       QFile::encodeName(replaced).constData()) == 0);
  const QString appeared = write(logs + "/new.log.1", 10);

  const CommandResult run =
      helper(TW_CLEAN_HELPER_TEST,
             QStringList{"clean", "system-rotated-logs"} << keys << "/etc/passwd", root.path());
  EXPECT_EQ(run.exitCode, 1) << run.errorOutput.toStdString();
  const QJsonObject answer = QJsonDocument::fromJson(run.output.toUtf8()).object();
  EXPECT_EQ(answer["result"].toString(), "partly");
  EXPECT_EQ(answer["removed"].toInt(), 2);
  EXPECT_EQ(answer["left"].toInt(), 3);
  EXPECT_EQ(answer["freed"].toDouble(), 1000);
  EXPECT_FALSE(QFile::exists(gone));
  EXPECT_FALSE(QFile::exists(deep));
  for (const QString &kept : {live, changed, replaced, victim, linked, open, appeared})
    EXPECT_TRUE(QFile::exists(kept)) << kept.toStdString();

  // The production helper has no such override: it looks at the real
  // system, where no file has the key of one in the prepared tree.
  QStringList appearedKey;
  for (const SystemItem &item : SystemCleaners(root.path()).list("system-rotated-logs").items)
    if (item.path == appeared)
      appearedKey << item.key;
  ASSERT_EQ(appearedKey.size(), 1);
  helper(TW_CLEAN_HELPER, QStringList{"clean", "system-rotated-logs"} << appearedKey, root.path());
  EXPECT_TRUE(QFile::exists(appeared));
}
