// The files a privacy category shows before cleaning: what the size counts,
// largest first and capped, under the same rules as the cleaner.
#include "tests/cleanup/PrivacyTestSupport.h"

#include "cleanup/PrivacyPreview.h"

#include <algorithm>

namespace {

struct Preview {
  qint64 count = 0;
  QStringList paths;
  std::vector<qint64> sizes;
};

Preview preview(const QString &type) {
  const QJsonObject answer =
      QJsonDocument::fromJson(PrivacyPreview().getPrivacyItemFiles(type).toUtf8()).object();
  Preview result{qint64(answer.value("count").toDouble()), {}, {}};
  for (const QJsonValue &file : answer.value("list").toArray()) {
    result.paths << file["path"].toString();
    result.sizes.push_back(qint64(file["size"].toDouble()));
  }
  return result;
}

} // namespace

using PrivacyPreviewFiles = PrivacyTest;

TEST_F(PrivacyPreviewFiles, LargestFirstCappedEachFileOnceNoLinkFollowed) {
  const QString cache = cacheHome() + "/microsoft-edge/Default/Cache";
  for (int i = 1; i <= 350; ++i)
    write(cache + QString("/Cache_Data/f%1").arg(i), bytes(i));
  hardLink(cache + "/Cache_Data/f350", cache + "/Cache_Data/again");
  link(write(home() + "/outside.bin", bytes(5000)), cache + "/to-outside");

  const Preview edge = preview("edge");
  EXPECT_EQ(edge.count, 350) << "a hard link is the same file, a link is not followed";
  ASSERT_EQ(edge.sizes.size(), size_t(PrivacyPreview::listLimit));
  EXPECT_EQ(edge.sizes.front(), 350);
  EXPECT_EQ(edge.sizes.back(), 51);
  EXPECT_TRUE(std::is_sorted(edge.sizes.rbegin(), edge.sizes.rend()));
  EXPECT_FALSE(edge.paths.contains(cache + "/to-outside"));
  EXPECT_TRUE(edge.paths.contains(cache + "/Cache_Data/f51"));
}

TEST_F(PrivacyPreviewFiles, TemporaryFilesAsTheRulesLetGoAndTheRecentList) {
  const QString old = write(tempFolder() + "/old.bin", bytes(700));
  age(old, 2 * 60 * 60);
  write(tempFolder() + "/fresh.bin", bytes(900));
  const Preview temp = preview("temp");
  EXPECT_EQ(temp.paths, QStringList{old})
      << "a file touched within the hour stays and is not shown";

  const QString recent = write(dataHome() + "/recently-used.xbel",
                               R"(<?xml version="1.0"?><xbel version="1.0"><bookmark )"
                               R"(href="file:///home/user/a.txt"/></xbel>)");
  EXPECT_EQ(preview("recent").paths, QStringList{recent});
  EXPECT_EQ(preview("prefetch").count, 0);
  EXPECT_EQ(preview("Temp").count, 0) << "types match exactly";
}
