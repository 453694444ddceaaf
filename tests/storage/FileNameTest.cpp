#include "platform/storage/FileName.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

QByteArray roundTrip(const QByteArray &bytes) {
  return FileName::toBytes(FileName::fromBytes(bytes));
}

TEST(FileNameTest, ValidUtf8IsPlainText) {
  EXPECT_EQ(FileName::fromBytes(QByteArray("caf\xC3\xA9 \xE6\xBD\xAE.txt")),
            QString::fromUtf8("caf\xC3\xA9 \xE6\xBD\xAE.txt"));
  EXPECT_EQ(FileName::toBytes(QString::fromUtf8("\xF0\x9F\x98\x80/a")), "\xF0\x9F\x98\x80/a");
}

TEST(FileNameTest, EveryByteSequenceRoundTripsThroughJson) {
  // Windows-1252 and GBK names, truncated sequences, overlong forms, encoded
  // surrogates, bytes above U+10FFFF, and valid UTF-8 that spells an escape.
  const QList<QByteArray> names = {"caf\xE9.txt",    "\xD6\xD0\xCE\xC4", "\xE6\xBD", "\xC0\xAF",
                                   "\xED\xA0\x80",   "\xF4\x90\x80\x80", "\xFF\xFE", "\xEE\xBE\x80",
                                   "a\xEF\xBF\xBFz", "\x80\xC3\xA9\x80"};
  QJsonArray array;
  for (const QByteArray &name : names) {
    EXPECT_EQ(roundTrip(name), name) << name.toHex().constData();
    array.append(FileName::fromBytes(name));
  }
  const QJsonArray back =
      QJsonDocument::fromJson(QJsonDocument(array).toJson(QJsonDocument::Compact)).array();
  ASSERT_EQ(back.size(), names.size());
  for (int i = 0; i < names.size(); ++i)
    EXPECT_EQ(FileName::toBytes(back[i].toString()), names[i]) << i;
}

TEST(FileNameTest, InvalidBytesBecomeVisibleEscapesAndKeepTheRest) {
  const QString text = FileName::fromBytes(QByteArray("caf\xE9.txt"));
  EXPECT_EQ(text.size(), 8);
  EXPECT_EQ(text.at(3).unicode(), 0xEFE9);
  EXPECT_TRUE(text.endsWith(QStringLiteral(".txt")));
}

} // namespace
