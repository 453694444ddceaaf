// The store shared by real processes: regtool, concurrent writers, and a
// writer killed in the middle of a transaction.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

#include <sqlite3.h>

#include "platform/registry/RegistryFactory.h"
#include "platform/registry/SqliteRegistry.h"

namespace {

struct ToolRun {
  int exitCode;
  QString out;
  QString err;
};

ToolRun regtool(const QStringList &args, const QString &outputFile = QString()) {
  QProcess tool;
  if (!outputFile.isEmpty())
    tool.setStandardOutputFile(outputFile);
  tool.start(TW_REGTOOL, args);
  tool.waitForFinished(60000);
  return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
          QString::fromUtf8(tool.readAllStandardOutput()),
          QString::fromUtf8(tool.readAllStandardError())};
}

class RegistryProcessTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char *path : {"HKEY_CURRENT_USER\\Software", "HKEY_LOCAL_MACHINE\\Software"})
      store->deleteKeyTree(*RegistryKey::parse(path));
  }
  std::unique_ptr<Registry> store{createUserRegistry()};
  QTemporaryDir folder;
};

TEST_F(RegistryProcessTest, RegtoolQueriesExportsImportsAndDeletes) {
  const QString file = folder.filePath("in.reg");
  QFile reg(file);
  ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
  reg.write("Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tool]\r\n\"Name\"=\"v\"\r\n\"Count\"=dword:0000000a\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tool\\Sub]\r\n");
  reg.close();
  EXPECT_EQ(regtool({"import", file}).exitCode, 0);

  const ToolRun query = regtool({"query", "HKEY_CURRENT_USER\\Software\\Tool"});
  EXPECT_EQ(query.exitCode, 0);
  EXPECT_EQ(query.out, "\nHKEY_CURRENT_USER\\Software\\Tool\n"
                       "    Name    REG_SZ    v\n    Count    REG_DWORD    0xa\n\n"
                       "HKEY_CURRENT_USER\\Software\\Tool\\Sub\n");

  const QString exported = folder.filePath("out.reg");
  EXPECT_EQ(regtool({"export", "HKCU\\Software\\Tool", exported}).exitCode, 0);
  QFile out(exported);
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_TRUE(out.readAll().startsWith("Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Tool]\r\n\"Name\"=\"v\"\r\n"
                                       "\"Count\"=dword:0000000a\r\n"));

  EXPECT_EQ(regtool({"delete", "HKCU\\Software\\Tool", "Name"}).exitCode, 0);
  EXPECT_FALSE(store->value(*RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Tool"), "Name"));
  EXPECT_EQ(regtool({"delete", "HKCU\\Software\\Tool"}).exitCode, 0);
  EXPECT_FALSE(store->keyExists(*RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Tool")));
}

TEST_F(RegistryProcessTest, RegtoolFailsWithAMessageForMissingKeysAndMalformedFiles) {
  const QString missing = "HKEY_CURRENT_USER\\Software\\Missing";
  for (const QStringList &args :
       {QStringList{"query", missing}, QStringList{"export", missing},
        QStringList{"delete", missing}, QStringList{"query", "HKCU\\Software", "x"},
        QStringList{"query", "HKEY_NOWHERE\\x"}, QStringList{"frobnicate", "x"}}) {
    const ToolRun run = regtool(args);
    EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("ERROR: ") || run.err.startsWith("usage: "))
        << run.err.toStdString();
  }

  const QString file = folder.filePath("bad.reg");
  QFile reg(file);
  ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
  reg.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Bad]\n"
            "\"ok\"=\"v\"\n\"n\"=dword:xyz\n");
  reg.close();
  const ToolRun run = regtool({"import", file});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, QStringLiteral("ERROR: %1:5: bad dword \"xyz\"\n").arg(file));
  EXPECT_FALSE(store->keyExists(*RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Bad")));
  EXPECT_EQ(regtool({"import", folder.filePath("none.reg")}).exitCode, 1);
}

TEST_F(RegistryProcessTest, RegtoolFailsWhenItsOutputCannotBeWritten) {
  const RegistryKey tool = *RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Tool");
  ASSERT_TRUE(store->setValue(tool, "Name", RegistryValue::fromString("v")));
  const QString file = folder.filePath("in.reg");
  ASSERT_EQ(regtool({"export", "HKCU\\Software\\Tool", file}).exitCode, 0);
  for (const QStringList &args :
       {QStringList{"query", "HKCU\\Software\\Tool"},
        QStringList{"query", "HKCU\\Software\\Tool", "Name"},
        QStringList{"export", "HKCU\\Software\\Tool"}, QStringList{"import", file}}) {
    const ToolRun run = regtool(args, "/dev/full");
    EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("ERROR: cannot write the output")) << run.err.toStdString();
  }
  const ToolRun toFile = regtool({"export", "HKCU\\Software\\Tool", "/dev/full"});
  EXPECT_EQ(toFile.exitCode, 1);
  EXPECT_TRUE(toFile.err.startsWith("ERROR: cannot write /dev/full")) << toFile.err.toStdString();
}

// A line break would split its line, and UTF-8 has no form for a lone
// surrogate: export refuses, names the name, and writes nothing.
TEST_F(RegistryProcessTest, RegtoolRefusesToExportNamesTheFileCannotHold) {
  const RegistryKey tool = *RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Tool");
  const struct {
    RegistryKey key;
    QString value;
    QString message;
  } cases[] = {
      {tool, "two\nlines",
       "ERROR: cannot export: the value name \"two\\nlines\" in "
       "\"HKEY_CURRENT_USER\\Software\\Tool\" holds a line break, which a .reg file cannot hold\n"},
      {tool.subKey("Sub").subKey("back\rto start"), "v",
       "ERROR: cannot export: the key name \"back\\rto start\" in "
       "\"HKEY_CURRENT_USER\\Software\\Tool\\Sub\" holds a line break, which a .reg file cannot "
       "hold\n"},
      {tool, QString::fromUtf16(u"lone\xD800"),
       "ERROR: cannot export: the value name \"lone\\uD800\" in "
       "\"HKEY_CURRENT_USER\\Software\\Tool\" holds a lone surrogate, which a .reg file cannot "
       "hold\n"},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(store->deleteKeyTree(tool) || !store->keyExists(tool));
    ASSERT_TRUE(store->setValue(tool, "Plain", RegistryValue::fromString("kept")));
    ASSERT_TRUE(store->setValue(c.key, c.value, RegistryValue::fromString("x")));
    const QString file = folder.filePath("out.reg");
    const ToolRun run = regtool({"export", "HKCU\\Software\\Tool", file});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_FALSE(QFileInfo::exists(file));
    const ToolRun out = regtool({"export", "HKCU\\Software\\Tool"});
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_EQ(out.out, "");
  }
}

TEST_F(RegistryProcessTest, FourConcurrentWritersLoseNothing) {
  // Start from no database at all, so the writers also race to create it.
  store.reset();
  for (const char *suffix : {"", "-wal", "-shm"})
    QFile::remove(userRegistryPath() + suffix);

  constexpr int writers = 4;
  constexpr int count = 2000;
  const QString key = "HKEY_CURRENT_USER\\Software\\Concurrent";
  std::vector<std::unique_ptr<QProcess>> processes;
  for (int w = 0; w < writers; ++w) {
    processes.push_back(std::make_unique<QProcess>());
    processes.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    processes.back()->start(TW_REGISTRY_WRITER,
                            {key, QStringLiteral("w%1-").arg(w), QString::number(count)});
  }
  for (auto &process : processes) {
    ASSERT_TRUE(process->waitForFinished(180000));
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), 0);
  }

  SqliteRegistry check(userRegistryPath());
  const auto values = check.values(*RegistryKey::parse(key));
  ASSERT_TRUE(values);
  EXPECT_EQ(values->size(), writers * count);
  QSet<QString> names;
  for (const RegistryNamedValue &entry : *values) {
    names.insert(entry.name);
    EXPECT_EQ(entry.value.toDWord(), entry.name.section('-', 1).toUInt());
  }
  EXPECT_EQ(names.size(), writers * count);
}

TEST_F(RegistryProcessTest, AWriterKilledMidTransactionLeavesNoPartialWrite) {
  const RegistryKey sentinel = *RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Sentinel");
  ASSERT_TRUE(store->setValue(sentinel, "before", RegistryValue::fromString("kept")));
  store.reset(); // the last connection closing checkpoints and removes the WAL

  const QString file = folder.filePath("large.reg");
  {
    QFile reg(file);
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly));
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int k = 0; k < 40; ++k) {
      text += "[HKEY_CURRENT_USER\\Software\\Large\\Key" + QByteArray::number(k) + "]\r\n";
      for (int v = 0; v < 5000; ++v)
        text += "\"value" + QByteArray::number(v) + "\"=\"some text to make the row longer\"\r\n";
    }
    reg.write(text);
  }
  const QString wal = userRegistryPath() + "-wal";
  QProcess tool;
  tool.start(TW_REGTOOL, {"import", file});
  ASSERT_TRUE(tool.waitForStarted());
  // Pages of the open transaction spill into the WAL long before its commit.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (QFileInfo(wal).size() < 4 * 1024 * 1024 && tool.state() == QProcess::Running &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(tool.state(), QProcess::Running) << "the import ended before it could be killed";
  ::kill(pid_t(tool.processId()), SIGKILL);
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);

  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(userRegistryPath()).constData(), &db), SQLITE_OK);
  sqlite3_stmt *check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);

  SqliteRegistry after(userRegistryPath());
  EXPECT_FALSE(after.keyExists(*RegistryKey::parse("HKEY_CURRENT_USER\\Software\\Large")));
  EXPECT_EQ(after.value(sentinel, "before")->toString(), QStringLiteral("kept"));
  EXPECT_TRUE(after.setValue(sentinel, "after", RegistryValue::fromDWord(1)));
}

} // namespace
