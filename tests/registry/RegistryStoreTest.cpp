// The store's registry semantics on a real database in a temporary folder.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include <sqlite3.h>
#include <sys/stat.h>

#include "platform/registry/RegistryFactory.h"
#include "platform/registry/SqliteRegistry.h"

namespace {

class RegistryStoreTest : public ::testing::Test {
protected:
  QTemporaryDir folder;
  SqliteRegistry store{folder.filePath(QStringLiteral("sub/registry.db"))};
  const RegistryKey app{RegistryRoot::CurrentUser, QStringLiteral("Software\\MyApp")};
};

TEST_F(RegistryStoreTest, DatabaseIsCreatedOnFirstUseAndSharedBetweenConnections) {
  EXPECT_FALSE(QFileInfo::exists(store.databasePath()));
  EXPECT_FALSE(store.keyExists(app));
  EXPECT_TRUE(QFileInfo::exists(store.databasePath()));

  ASSERT_TRUE(store.setValue(app, QStringLiteral("Name"), RegistryValue::fromString("one")));
  SqliteRegistry other(store.databasePath());
  EXPECT_EQ(other.value(app, QStringLiteral("Name"))->toString(), QStringLiteral("one"));
}

int modeOf(const QString &path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

TEST_F(RegistryStoreTest, TheDatabaseAndItsJournalsAreTheUsersOnly) {
  ASSERT_TRUE(store.setValue(app, QStringLiteral("Name"), RegistryValue::fromString("one")));
  const QString db = store.databasePath();
  QStringList files{db};
  for (const char *journal : {"-wal", "-shm"})
    if (QFileInfo::exists(db + journal))
      files << db + journal;
  EXPECT_EQ(modeOf(QFileInfo(db).path()), 0700);
  for (const QString &file : files)
    EXPECT_EQ(modeOf(file), 0600) << file.toStdString();

  // Left readable by an older version: tightened when the store is opened.
  for (const QString &file : files)
    ::chmod(QFile::encodeName(file).constData(), 0644);
  SqliteRegistry later(db);
  EXPECT_EQ(later.value(app, QStringLiteral("Name"))->toString(), QStringLiteral("one"));
  for (const QString &file : files)
    EXPECT_EQ(modeOf(file), 0600) << file.toStdString();
}

TEST_F(RegistryStoreTest, AConnectionSeesKeysThatAnotherDeletedAndMadeAgain) {
  ASSERT_TRUE(store.setValue(app.subKey("k"), "v", RegistryValue::fromDWord(1)));
  ASSERT_EQ(store.value(app.subKey("k"), "v")->toDWord(), 1u);

  SqliteRegistry other(store.databasePath());
  ASSERT_TRUE(other.deleteKeyTree(app));
  EXPECT_FALSE(store.value(app.subKey("k"), "v"));
  ASSERT_TRUE(other.setValue(app.subKey("k"), "v", RegistryValue::fromDWord(2)));
  EXPECT_EQ(store.value(app.subKey("k"), "v")->toDWord(), 2u);
}

TEST_F(RegistryStoreTest, UserStoreLivesInTheConfigFolder) {
  EXPECT_EQ(userRegistryPath(),
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tidewell/registry.db"));
}

TEST_F(RegistryStoreTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
  ASSERT_TRUE(store.setValue(app, QStringLiteral("DisplayName"), RegistryValue::fromString("a")));
  const RegistryKey shouting(RegistryRoot::CurrentUser, QStringLiteral("SOFTWARE\\MYAPP"));
  ASSERT_TRUE(
      store.setValue(shouting, QStringLiteral("DISPLAYNAME"), RegistryValue::fromString("b")));

  EXPECT_EQ(store.value(app, QStringLiteral("displayname"))->toString(), QStringLiteral("b"));
  EXPECT_EQ(store.subKeyNames(RegistryKey(RegistryRoot::CurrentUser)), QStringList{"Software"});
  EXPECT_EQ(store.subKeyNames(RegistryKey(RegistryRoot::CurrentUser, "software")),
            QStringList{"MyApp"});
  const auto values = store.values(shouting);
  ASSERT_EQ(values->size(), 1);
  EXPECT_EQ(values->first().name, QStringLiteral("DisplayName"));
}

TEST_F(RegistryStoreTest, EveryValueTypeReadsBackAsWritten) {
  const QByteArray bytes("\x00\x01\xfe\xff", 4);
  ASSERT_TRUE(store.setValue(app, "sz", RegistryValue::fromString(QStringLiteral("潮井 \"x\""))));
  ASSERT_TRUE(store.setValue(app, "expand", RegistryValue::fromExpandString("%TEMP%\\a")));
  ASSERT_TRUE(store.setValue(app, "dword", RegistryValue::fromDWord(0xfffffffeu)));
  ASSERT_TRUE(store.setValue(app, "qword", RegistryValue::fromQWord(0x123456789abcdefull)));
  ASSERT_TRUE(store.setValue(app, "binary", RegistryValue::fromBinary(bytes)));
  ASSERT_TRUE(store.setValue(app, "empty", RegistryValue::fromBinary(QByteArray())));
  ASSERT_TRUE(store.setValue(app, "multi", RegistryValue::fromMultiString({"a", "bc"})));
  ASSERT_TRUE(store.setValue(app, "", RegistryValue::fromString("default")));

  EXPECT_EQ(store.value(app, "sz")->toString(), QStringLiteral("潮井 \"x\""));
  EXPECT_EQ(store.value(app, "expand")->type(), RegistryType::ExpandString);
  EXPECT_EQ(store.value(app, "expand")->toString(), QStringLiteral("%TEMP%\\a"));
  EXPECT_EQ(store.value(app, "dword")->toDWord(), 0xfffffffeu);
  EXPECT_EQ(store.value(app, "qword")->toQWord(), 0x123456789abcdefull);
  EXPECT_EQ(store.value(app, "binary")->data(), bytes);
  EXPECT_EQ(store.value(app, "empty"), RegistryValue::fromBinary(QByteArray()));
  EXPECT_EQ(store.value(app, "multi")->toStringList(), QStringList({"a", "bc"}));
  EXPECT_EQ(store.value(app, "")->toString(), QStringLiteral("default"));
  // Typed reads refuse another type.
  EXPECT_FALSE(store.value(app, "dword")->toString());
  EXPECT_FALSE(store.value(app, "sz")->toDWord());
  EXPECT_FALSE(store.value(app, "missing"));
  EXPECT_FALSE(store.value(app.subKey("missing"), "sz"));
}

TEST_F(RegistryStoreTest, EnumerationByIndexIsStable) {
  for (const char *name : {"b", "A", "c"})
    ASSERT_TRUE(store.createKey(app.subKey(name)));
  for (const char *name : {"z", "Y", "x"})
    ASSERT_TRUE(store.setValue(app, name, RegistryValue::fromDWord(1)));
  // Rewriting a value keeps its place.
  ASSERT_TRUE(store.setValue(app, "z", RegistryValue::fromDWord(2)));

  EXPECT_EQ(store.subKeyNames(app), QStringList({"A", "b", "c"}));
  QStringList byIndex;
  for (int i = 0; const auto name = store.subKeyName(app, i); ++i)
    byIndex.append(*name);
  EXPECT_EQ(byIndex, QStringList({"A", "b", "c"}));
  QStringList values;
  for (int i = 0; const auto name = store.valueName(app, i); ++i)
    values.append(*name);
  EXPECT_EQ(values, QStringList({"z", "Y", "x"}));
  EXPECT_FALSE(store.valueName(app, -1));

  ASSERT_TRUE(store.deleteValue(app, "Y"));
  EXPECT_EQ(store.valueName(app, 1), QStringLiteral("x"));
  EXPECT_FALSE(store.deleteValue(app, "Y"));
}

TEST_F(RegistryStoreTest, KeyTreesAreDeletedWhole) {
  ASSERT_TRUE(store.setValue(app.subKey("a\\b\\c"), "deep", RegistryValue::fromDWord(1)));
  ASSERT_TRUE(store.setValue(app.subKey("a"), "top", RegistryValue::fromDWord(1)));
  ASSERT_TRUE(store.setValue(app.subKey("sibling"), "kept", RegistryValue::fromDWord(1)));

  ASSERT_TRUE(store.deleteKeyTree(app.subKey("A")));
  EXPECT_FALSE(store.keyExists(app.subKey("a\\b\\c")));
  EXPECT_FALSE(store.keyExists(app.subKey("a")));
  EXPECT_TRUE(store.value(app.subKey("sibling"), "kept"));
  EXPECT_FALSE(store.deleteKeyTree(app.subKey("a")));

  // A key made again under the same name starts empty.
  ASSERT_TRUE(store.createKey(app.subKey("a\\b")));
  EXPECT_EQ(store.values(app.subKey("a"))->size(), 0);
  EXPECT_EQ(store.subKeyNames(app.subKey("a\\b")), QStringList());
}

TEST_F(RegistryStoreTest, RootsCannotBeDeleted) {
  ASSERT_TRUE(store.createKey(app));
  const RegistryKey root(RegistryRoot::CurrentUser);
  EXPECT_FALSE(store.deleteKeyTree(root));
  EXPECT_TRUE(store.keyExists(app));
  EXPECT_TRUE(store.keyExists(root));
}

TEST_F(RegistryStoreTest, The32BitViewRedirectsMachineSoftware) {
  const RegistryKey view32(RegistryRoot::LocalMachine, "Software\\Vendor", RegistryView::View32);
  ASSERT_TRUE(store.setValue(view32, "v", RegistryValue::fromString("32")));

  const RegistryKey wow(RegistryRoot::LocalMachine, "SOFTWARE\\WOW6432Node\\Vendor");
  EXPECT_EQ(store.value(wow, "v")->toString(), QStringLiteral("32"));
  EXPECT_FALSE(store.keyExists(view32.inView(RegistryView::View64)));
  EXPECT_FALSE(store.keyExists(view32.inView(RegistryView::Default)));
  // An explicit WOW6432Node is not doubled, and other roots are not redirected.
  EXPECT_TRUE(store.keyExists(wow.inView(RegistryView::View32)));
  ASSERT_TRUE(
      store.createKey(RegistryKey(RegistryRoot::CurrentUser, "Software\\U", RegistryView::View32)));
  EXPECT_TRUE(store.keyExists(RegistryKey(RegistryRoot::CurrentUser, "Software\\U")));
  EXPECT_EQ(
      store.subKeyNames(RegistryKey(RegistryRoot::LocalMachine, "Software", RegistryView::View32)),
      QStringList{"Vendor"});
}

TEST_F(RegistryStoreTest, ABatchIsAppliedWholeOrNotAtAll) {
  ASSERT_TRUE(store.setValue(app, "before", RegistryValue::fromDWord(1)));
  RegistryBatch batch;
  batch.setValue(app, "new", RegistryValue::fromDWord(2));
  batch.deleteValue(app, "before");
  batch.createKey(app.subKey("child"));
  batch.deleteKeyTree(app.subKey("missing"), true);
  EXPECT_FALSE(store.apply(batch));
  EXPECT_FALSE(store.lastError().isEmpty());

  EXPECT_TRUE(store.value(app, "before"));
  EXPECT_FALSE(store.value(app, "new"));
  EXPECT_FALSE(store.keyExists(app.subKey("child")));
}

TEST_F(RegistryStoreTest, OverlongNamesAreRefused) {
  EXPECT_FALSE(store.createKey(app.subKey(QString(256, 'k'))));
  EXPECT_TRUE(store.createKey(app.subKey(QString(255, 'k'))));
  EXPECT_FALSE(store.setValue(app, QString(16384, 'v'), RegistryValue::fromDWord(1)));
}

// Every UTF-16 string is a name of its own: a lone surrogate is neither joined
// with the unit after it nor replaced, in either order of writing.
TEST_F(RegistryStoreTest, NamesWithLoneSurrogatesStayApart) {
  const QString lone = QString::fromUtf16(u"a\xD800"
                                          u"b");
  const QString pair = QString::fromUtf16(u"a\xD800\xDC62");
  const QString ends = QString::fromUtf16(u"x\xD800");
  const QString low = QString::fromUtf16(u"\xDC00y");
  for (const QStringList &order :
       {QStringList{lone, pair, ends, low}, QStringList{low, ends, pair, lone}}) {
    ASSERT_TRUE(store.deleteKeyTree(app) || !store.keyExists(app));
    for (int i = 0; i < order.size(); ++i) {
      ASSERT_TRUE(store.setValue(app, order[i], RegistryValue::fromDWord(quint32(i))));
      ASSERT_TRUE(store.createKey(app.subKey(order[i])));
    }
    const auto values = store.values(app);
    ASSERT_EQ(values->size(), order.size());
    for (int i = 0; i < order.size(); ++i) {
      EXPECT_EQ(values->at(i).name, order[i]);
      EXPECT_EQ(store.value(app, order[i])->toDWord(), quint32(i));
      EXPECT_EQ(store.valueName(app, i), order[i]);
      EXPECT_TRUE(store.keyExists(app.subKey(order[i])));
    }
    QStringList keys = *store.subKeyNames(app);
    QStringList expected = order;
    keys.sort();
    expected.sort();
    EXPECT_EQ(keys, expected);
    // Deleting one leaves its look-alike.
    ASSERT_TRUE(store.deleteValue(app, lone));
    EXPECT_EQ(store.value(app, pair)->toDWord(), quint32(order.indexOf(pair)));
    EXPECT_FALSE(store.value(app, lone));
  }
}

// A database whose names SQLite itself converted from UTF-16, as every
// database written before did, reads and matches as before.
TEST_F(RegistryStoreTest, NamesStoredThroughSqlitesOwnConversionStillMatch) {
  ASSERT_TRUE(store.createKey(app));
  const QString name = QString::fromUtf8("Ünïcode 潮井 \xF0\x9F\x98\x80");
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(store.databasePath()).constData(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 10000);
  sqlite3_stmt *insert = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "INSERT INTO vals(key, name, folded, type, data) "
                               "SELECT id, ?1, ?2, 4, x'07000000' FROM keys WHERE name = 'MyApp'",
                               -1, &insert, nullptr),
            SQLITE_OK);
  const QString folded = name.toCaseFolded();
  sqlite3_bind_text16(insert, 1, name.utf16(), name.size() * 2, SQLITE_TRANSIENT);
  sqlite3_bind_text16(insert, 2, folded.utf16(), folded.size() * 2, SQLITE_TRANSIENT);
  EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
  sqlite3_finalize(insert);
  sqlite3_close(db);

  EXPECT_EQ(store.valueName(app, 0), name);
  EXPECT_EQ(store.value(app, name.toUpper())->toDWord(), 7u);
  ASSERT_TRUE(store.setValue(app, name, RegistryValue::fromDWord(8)));
  EXPECT_EQ(store.values(app)->size(), 1);
}

TEST_F(RegistryStoreTest, ThreadsSharingAConnectionOrEachWithItsOwnLoseNothing) {
  SqliteRegistry second(store.databasePath());
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      SqliteRegistry &registry = t % 2 ? second : store;
      for (int i = 0; i < 300; ++i) {
        if (!registry.setValue(app, QStringLiteral("t%1-%2").arg(t).arg(i),
                               RegistryValue::fromDWord(i)))
          ++failures;
      }
    });
  }
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(store.values(app)->size(), 4 * 300);
}

TEST(RegistryKeyTest, PathsParseWithTheRootTable) {
  const auto key = RegistryKey::parse("hkey_local_machine\\Software\\\\X\\");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->root(), RegistryRoot::LocalMachine);
  EXPECT_EQ(key->fullPath(), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\X"));
  EXPECT_TRUE(RegistryKey::parse("HKEY_CURRENT_CONFIG")->isRoot());
  EXPECT_FALSE(RegistryKey::parse("HKLM\\Software"));
  EXPECT_FALSE(RegistryKey::parse("HKEY_PERFORMANCE_DATA\\x"));
  EXPECT_FALSE(RegistryKey::parse("HKEY_CURRENT_USERX\\x"));
  EXPECT_EQ(RegistryKey::parse("HKLM\\Software", RegistryView::Default, true)->root(),
            RegistryRoot::LocalMachine);
  EXPECT_EQ(registryRootFromPredefinedKey(-2147483646), RegistryRoot::LocalMachine);
  EXPECT_EQ(registryRootFromPredefinedKey(-2147483643), RegistryRoot::CurrentConfig);
  EXPECT_FALSE(registryRootFromPredefinedKey(0));
}

} // namespace
