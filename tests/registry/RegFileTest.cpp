// The .reg text format: export, import, and what a malformed file reports.
#include <QTemporaryDir>
#include <QTextCodec>
#include <gtest/gtest.h>

#include "platform/registry/RegExport.h"
#include "platform/registry/RegImport.h"
#include "platform/registry/SqliteRegistry.h"

namespace {

class RegFileTest : public ::testing::Test {
protected:
  QTemporaryDir folder;
  SqliteRegistry store{folder.filePath(QStringLiteral("registry.db"))};
  const RegistryKey app{RegistryRoot::CurrentUser, QStringLiteral("Software\\Tidewell")};

  RegImport import(const QString &text) {
    RegImport result = parseRegText(text.toUtf8());
    if (result.ok()) {
      EXPECT_TRUE(store.apply(result.batch)) << store.lastError().toStdString();
    }
    return result;
  }
};

TEST_F(RegFileTest, ExportWritesTheEditorFormat) {
  ASSERT_TRUE(store.setValue(app, "Name", RegistryValue::fromString("C:\\a \"b\"")));
  ASSERT_TRUE(store.setValue(app, "Count", RegistryValue::fromDWord(10)));
  ASSERT_TRUE(store.setValue(app, "", RegistryValue::fromString("d")));
  ASSERT_TRUE(store.setValue(app, "Q", RegistryValue::fromQWord(1)));
  ASSERT_TRUE(store.setValue(app.subKey("Sub"), "M", RegistryValue::fromMultiString({"a"})));

  EXPECT_EQ(*exportRegText(store, app),
            QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Tidewell]\r\n"
                           "\"Name\"=\"C:\\\\a \\\"b\\\"\"\r\n"
                           "\"Count\"=dword:0000000a\r\n"
                           "@=\"d\"\r\n"
                           "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Tidewell\\Sub]\r\n"
                           "\"M\"=hex(7):61,00,00,00,00,00\r\n\r\n"));
  EXPECT_FALSE(exportRegText(store, app.subKey("missing")));
}

TEST_F(RegFileTest, ExportAndImportRoundTripEveryType) {
  QByteArray longBinary;
  for (int i = 0; i < 100; ++i)
    longBinary.append(char(i * 7));
  const QVector<RegistryNamedValue> values = {
      {"sz", RegistryValue::fromString(QStringLiteral("潮井 \\ \" ;"))},
      {"lines", RegistryValue::fromString("two\r\nlines")},
      {"expand", RegistryValue::fromExpandString("%PATH%")},
      {"dword", RegistryValue::fromDWord(0xdeadbeef)},
      {"binary", RegistryValue::fromBinary(longBinary)},
      {"emptyBinary", RegistryValue::fromBinary({})},
      {"none", RegistryValue(RegistryType::None, QByteArray("\x01", 1))},
      {"multi", RegistryValue::fromMultiString({"x", "y z"})},
      {"", RegistryValue::fromString("")},
  };
  for (const auto &entry : values)
    ASSERT_TRUE(store.setValue(app.subKey("Deep\\er"), entry.name, entry.value));
  const QString text = *exportRegText(store, app);
  EXPECT_TRUE(text.contains(",\\\r\n  ")) << "long hex data wraps";

  ASSERT_TRUE(store.deleteKeyTree(app));
  ASSERT_TRUE(import(text).ok());
  const auto back = store.values(app.subKey("Deep\\er"));
  ASSERT_EQ(back->size(), values.size());
  for (int i = 0; i < values.size(); ++i) {
    EXPECT_EQ(back->at(i).name, values.at(i).name);
    EXPECT_EQ(back->at(i).value, values.at(i).value) << values.at(i).name.toStdString();
  }
}

TEST_F(RegFileTest, ImportDeletesKeysAndValuesMarkedWithAMinus) {
  ASSERT_TRUE(store.setValue(app.subKey("Gone\\Child"), "x", RegistryValue::fromDWord(1)));
  ASSERT_TRUE(store.setValue(app, "drop", RegistryValue::fromDWord(1)));
  ASSERT_TRUE(store.setValue(app, "keep", RegistryValue::fromDWord(1)));
  ASSERT_TRUE(import("Windows Registry Editor Version 5.00\n\n"
                     "[-HKEY_CURRENT_USER\\Software\\Tidewell\\Gone]\n"
                     "[-HKEY_CURRENT_USER\\Software\\Tidewell\\NeverThere]\n"
                     "; a comment\n"
                     "[HKEY_CURRENT_USER\\Software\\Tidewell]\n"
                     "\"drop\"=-\n"
                     "\"new\"=dword:1\n")
                  .ok());
  EXPECT_FALSE(store.keyExists(app.subKey("Gone")));
  EXPECT_FALSE(store.value(app, "drop"));
  EXPECT_TRUE(store.value(app, "keep"));
  EXPECT_EQ(store.value(app, "new")->toDWord(), 1u);
}

TEST_F(RegFileTest, Utf16FilesWithAByteOrderMarkAreRead) {
  const QString text =
      QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Tidewell]\r\n\"n\"=\"潮井\"\r\n");
  QByteArray bytes("\xff\xfe");
  bytes += QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
  const RegImport result = parseRegText(bytes);
  ASSERT_TRUE(result.ok()) << result.error.toStdString();
  ASSERT_TRUE(store.apply(result.batch));
  EXPECT_EQ(store.value(app, "n")->toString(), QStringLiteral("潮井"));
}

TEST_F(RegFileTest, MalformedFilesNameTheLine) {
  const QString header = QStringLiteral("Windows Registry Editor Version 5.00\n");
  const struct {
    QString text;
    int line;
  } cases[] = {
      {"REGEDIT4\n[HKEY_CURRENT_USER\\x]\n", 1},
      {"", 0},
      {header + "\"orphan\"=\"v\"\n", 2},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=dword:123456789\n", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=\"open\n", 3},
      {header + "[HKLM\\Software\\T]\n", 2},
      {header + "[HKEY_CURRENT_USER\\Software\\T\n", 2},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=hex:01,zz\n", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=hex(x):01\n", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=hex:01,\\", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=\"v\" trailing\n", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\nn=\"v\"\n", 3},
      {header + "[HKEY_CURRENT_USER\\Software\\T]\n\"n\"=word:1\n", 3},
  };
  for (const auto &c : cases) {
    const RegImport result = parseRegText(c.text.toUtf8());
    EXPECT_FALSE(result.ok()) << c.text.toStdString();
    EXPECT_FALSE(result.error.isEmpty());
    if (c.line > 0) {
      EXPECT_EQ(result.errorLine, c.line) << c.text.toStdString();
    }
  }
}

} // namespace
