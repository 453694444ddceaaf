// The resource loader's answers, over a real archive.
#include <QStringList>

#include <gtest/gtest.h>

#include "base/resources/ResourceDecision.h"
#include "engine/archive/ArchiveReader.h"
#include "engine/archive/ArchiveWriter.h"

using ResourceDecision::Action;

namespace {

class Decide : public ::testing::Test {
protected:
  void SetUp() override {
    ArchiveWriter w;
    w.add("common/css/toast.css", css);
    w.add("common/empty.txt", "");
    QString error;
    ASSERT_TRUE(w.build(&archive, &error));
    reader = std::make_unique<ArchiveReader>(reinterpret_cast<const uint8_t *>(archive.constData()),
                                             size_t(archive.size()));
    lookup = [this](const QString &path, const uint8_t **data, uint32_t *size) {
      asked.append(path);
      return reader->item(path.toStdString(), data, size);
    };
  }

  ResourceDecision::Decision decide(const QString &url) {
    return ResourceDecision::decide(url, lookup);
  }
  QByteArray bytes(const ResourceDecision::Decision &d) {
    return QByteArray(reinterpret_cast<const char *>(d.data), int(d.size));
  }

  const QByteArray css = ".toast { color: #1f2937; }";
  QByteArray archive;
  std::unique_ptr<ArchiveReader> reader;
  ResourceDecision::ItemLookup lookup;
  QStringList asked;
};

TEST_F(Decide, AppUrlHandsOverTheItem) {
  const auto d = decide("this://app/common/css/toast.css");
  EXPECT_EQ(Action::HandOver, d.action);
  EXPECT_EQ(0, d.answer());
  EXPECT_EQ(css, bytes(d));
  EXPECT_EQ(QStringList{"common/css/toast.css"}, asked);
}

TEST_F(Decide, DoubleSlashAfterThePrefixFindsTheSameItem) {
  for (const char *url :
       {"this://app//common/css/toast.css", "this://app///common/css/toast.css"}) {
    const auto d = decide(url);
    EXPECT_EQ(Action::HandOver, d.action) << url;
    EXPECT_EQ(css, bytes(d));
  }
}

TEST_F(Decide, PrefixIsCaseSensitive) {
  for (const char *url : {"THIS://app/common/css/toast.css", "this://App/common/css/toast.css"}) {
    const auto d = decide(url);
    EXPECT_EQ(Action::Load, d.action) << url;
    EXPECT_EQ(0, d.answer());
  }
  EXPECT_TRUE(asked.isEmpty());
}

TEST_F(Decide, MissingOrEmptyItemIsDiscarded) {
  for (const char *url : {"this://app/common/css/none.css", "this://app/common/empty.txt",
                          "this://app/", "this://app/COMMON/css/toast.css"}) {
    const auto d = decide(url);
    EXPECT_EQ(Action::Discard, d.action) << url;
    EXPECT_EQ(1, d.answer());
    EXPECT_EQ(nullptr, d.data);
  }
}

TEST_F(Decide, ProgramResourcesAreAlwaysDiscarded) {
  for (const char *url : {"res:main.html", "res://icon.png", "res:"})
    EXPECT_EQ(1, decide(url).answer()) << url;
  EXPECT_EQ(Action::Load, decide("RES:main.html").action);
  EXPECT_TRUE(asked.isEmpty());
}

TEST_F(Decide, OtherUrlsAreLeftToTheEngine) {
  for (const char *url :
       {"https://api.tidewell.example/x", "this://apple/x", "this://app", "file:///x"})
    EXPECT_EQ(Action::Load, decide(url).action) << url;
  EXPECT_EQ(Action::Discard, ResourceDecision::decide("this://app/x", nullptr).action);
}

} // namespace
