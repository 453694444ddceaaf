// The application cleaners: their files checked when loaded, and measuring,
// listing and cleaning a prepared home's caches through the page's methods.
#include "tests/cleanup/PrivacyTestSupport.h"

#include <QTemporaryDir>

#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/PrivacyPreview.h"
#include "cleanup/PrivacyTree.h"
#include "tests/system/LogLines.h"

namespace {

const QByteArray goodFile = R"({"application": "Tool", "applicationEn": "Tool", "cleaners": [
  {"id": "tool-cache", "name": "工具缓存", "description": "工具的缓存", "nameEn": "Tool cache",
   "descriptionEn": "The tool's cache",
   "locations": [{"root": "cache", "path": "tool"}, {"root": "config", "path": "tool/*/GPUCache"}],
   "files": "*.bin", "olderThanDays": 3, "safe": true}]})";

QByteArray withCleaner(const QByteArray &cleaner) {
  return R"({"application": "Bad", "applicationEn": "Bad", "cleaners": [)" + cleaner + "]}";
}

QStringList ids(const std::vector<AppCleaner> &cleaners) {
  QStringList result;
  for (const AppCleaner &cleaner : cleaners)
    result << cleaner.id;
  return result;
}

QJsonObject cleanerNamed(const QString &id) {
  for (const QJsonValue &item :
       QJsonDocument::fromJson(PrivacyCleaner().getCleaners().toUtf8())["list"].toArray())
    if (item["id"].toString() == id)
      return item.toObject();
  ADD_FAILURE() << "no cleaner " << id.toStdString();
  return {};
}

} // namespace

TEST(AppCleanerDefinitions, aFaultyFileIsRefusedWholeWithItsFieldAndTheOthersLoad) {
  QTemporaryDir folder;
  const auto cleaner = [](const QByteArray &extra, const QByteArray &path = "x") {
    return withCleaner(R"({"id": "bad", "name": "n", "description": "d", "nameEn": "n",
      "descriptionEn": "d", "locations": [
      {"root": "cache", "path": ")" +
                       path + "\"}]" + extra + "}");
  };
  write(folder.filePath("a-good.json"), goodFile);
  write(folder.filePath("b-unknown.json"), cleaner(R"(, "recursive": true)"));
  write(folder.filePath("c-absolute.json"), cleaner("", "/etc"));
  write(folder.filePath("d-parent.json"), cleaner("", "pip/../../.ssh"));
  write(folder.filePath("e-glob.json"), cleaner(R"(, "files": "")"));
  write(folder.filePath("f-taken.json"), goodFile);
  write(folder.filePath("g-category.json"),
        withCleaner(R"({"id": "temp", "name": "n", "description": "d", "nameEn": "n",
                        "descriptionEn": "d", "locations": [{"root": "home", "path": "t"}]})"));
  write(folder.filePath("h-broken.json"), "{");
  write(
      folder.filePath("i-second.json"),
      R"({"application": "Other", "applicationEn": "Other", "cleaners": [{"id": "other", "name": "n", "description": "d",
           "nameEn": "n", "descriptionEn": "d", "locations": [{"root": "data", "path": "o"}]}]})");
  write(folder.filePath("j-english.json"),
        withCleaner(R"({"id": "e", "name": "n", "description": "d", "nameEn": "",
                        "locations": [{"root": "home", "path": "t"}]})"));
  write(folder.filePath("k-warned.json"),
        cleaner(R"(, "warning": "w", "warningEn": "w", "safe": true)"));
  write(folder.filePath("l-temp.json"), cleaner("", "x\"}, {\"root\": \"var-temp"));
  write(folder.filePath("m-process.json"), cleaner(R"(, "inUse": {"processes": ["/bin/x"]})"));
  write(folder.filePath("n-command.json"),
        withCleaner(R"({"id": "rm", "name": "n", "description": "d", "nameEn": "n",
                        "descriptionEn": "d", "command": "/bin/rm"})"));
  write(folder.filePath("o-command-where.json"),
        withCleaner(R"({"id": "apt", "name": "n", "description": "d", "nameEn": "n",
                        "descriptionEn": "d", "command": "apt-archives",
                        "locations": [{"root": "home", "path": "t"}]})"));

  const LogLines log;
  const std::vector<AppCleaner> loaded = AppCleanerDefinitions::load(folder.path());
  EXPECT_EQ(ids(loaded), QStringList({"tool-cache", "other"}));
  ASSERT_EQ(loaded.front().locations.size(), 2);
  EXPECT_EQ(loaded.front().locations[1].path, "tool/*/GPUCache");
  EXPECT_EQ(loaded.front().olderThanDays, 3);
  EXPECT_TRUE(loaded.front().safe);
  EXPECT_FALSE(loaded.back().safe);

  const auto refused = [&](const char *file, const char *why) {
    return LogLines::native("NativeUtil", "cleaner file " + folder.filePath(file).toStdString() +
                                              " refused: " + why);
  };
  EXPECT_EQ(
      log.messages(),
      std::vector<std::string>({
          refused("b-unknown.json", "cleaners[0].recursive: unknown key"),
          refused("c-absolute.json", "cleaners[0].locations[0].path: must be relative"),
          refused("d-parent.json", "cleaners[0].locations[0].path: must not hold empty, . "
                                   "or .. components"),
          refused("e-glob.json", "cleaners[0].files: must be a non-empty text"),
          refused("f-taken.json", "cleaners[0].id: is already taken"),
          refused("g-category.json", "cleaners[0].id: is already taken"),
          refused("h-broken.json", "file: is not a JSON object"),
          refused("j-english.json", "cleaners[0].nameEn: must be a non-empty text"),
          refused("k-warned.json", "cleaners[0].safe: a cleaner with a warning is never safe"),
          refused("l-temp.json", "cleaners[0].ownedByUser: must be true below a temporary folder"),
          refused("m-process.json", "cleaners[0].inUse.processes: must hold executable names"),
          refused("n-command.json", "cleaners[0].command: is not an allow-listed system cleaner"),
          refused("o-command-where.json", "cleaners[0].locations: does not go with command"),
      }));
}

TEST(AppCleanerDefinitions, theShippedCleanersAllLoad) {
  const LogLines log;
  const std::vector<AppCleaner> loaded = AppCleanerDefinitions::load(TW_CLEANERS_DIR);
  EXPECT_EQ(log.messages(), std::vector<std::string>());
  EXPECT_GE(loaded.size(), 40u);
  EXPECT_EQ(AppCleanerDefinitions::installed().size(), loaded.size())
      << "copied beside the program";
}

TEST(AppCleaners, measuresListsAndCleansCachesWithoutFollowingALinkOut) {
  const QString outside = home() + "/outside-cache";
  const QString kept = write(outside + "/precious.whl", bytes(4096));
  write(cacheHome() + "/pip/http/a/1.body", bytes(700));
  write(cacheHome() + "/pip/wheels/x/y/tool.whl", bytes(5000));
  hardLink(cacheHome() + "/pip/wheels/x/y/tool.whl", cacheHome() + "/pip/wheels/again.whl");
  link(outside, cacheHome() + "/pip/http/outside");
  link(kept, cacheHome() + "/pip/precious.whl");
  write(home() + "/.npm/_cacache/content-v2/sha512/ab/cd", bytes(3000));
  write(home() + "/.npm/_logs/debug.log", bytes(10)); // not npm's cache: stays
  write(cacheHome() + "/go-build/00/00a-d", bytes(1200));
  write(cacheHome() + "/go-build/trim.txt", bytes(20));
  const QString recent = write(home() + "/.local/state/app/app.log", bytes(60));
  write(home() + "/.local/state/app/app.log.1", bytes(90));
  write(home() + "/.local/state/app/app.log.2.gz", bytes(80));

  EXPECT_EQ(cleanerNamed("pip-cache")["size"].toDouble(), 5700)
      << "the link and its target not counted, a hard link once";
  EXPECT_EQ(cleanerNamed("npm-cache")["size"].toDouble(), 3000);
  EXPECT_EQ(cleanerNamed("go-build-cache")["size"].toDouble(), 1220);
  EXPECT_EQ(cleanerNamed("rotated-logs")["size"].toDouble(), 170);
  EXPECT_EQ(cleanerNamed("rotated-logs")["safe"].toBool(), false);
  EXPECT_EQ(cleanerNamed("pip-cache")["name"].toString(), "pip 下载缓存");

  const QJsonObject files =
      QJsonDocument::fromJson(PrivacyPreview().getPrivacyItemFiles("pip-cache").toUtf8()).object();
  EXPECT_EQ(files["count"].toInt(), 2);
  const QJsonArray list = files["list"].toArray();
  ASSERT_EQ(list.size(), 2);
  EXPECT_EQ(list.at(0)["size"].toDouble(), 5000);
  EXPECT_TRUE(list.at(0)["path"].toString().startsWith(cacheHome() + "/pip/wheels/"));
  EXPECT_EQ(list.at(1)["path"].toString(), cacheHome() + "/pip/http/a/1.body");

  EXPECT_TRUE(PrivacyCleaner().cleanCleaners(
      R"(["pip-cache", "npm-cache", "go-build-cache", "rotated-logs", "no-such"])"));
  for (const char *id : {"pip-cache", "npm-cache", "go-build-cache", "rotated-logs"})
    EXPECT_EQ(cleanerNamed(id)["size"].toDouble(), 0) << id;
  EXPECT_EQ(QDir(cacheHome() + "/pip")
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList({"http", "precious.whl"}))
      << "links stay, never followed; emptied folders go";
  EXPECT_TRUE(QFileInfo::exists(kept));
  EXPECT_EQ(findBytes({outside}), 4096);
  EXPECT_TRUE(QFileInfo::exists(home() + "/.npm/_logs/debug.log"));
  EXPECT_TRUE(QFileInfo::exists(recent)) << "a current log stays";
  EXPECT_TRUE(QFileInfo::exists(home() + "/.local/state/app")) << "a folder of kept names stays";
}

TEST(AppCleaners, anAgeLimitKeepsRecentFilesAndAProfilePatternReachesEveryProfile) {
  QTemporaryDir folder;
  write(folder.filePath("tool.json"), goodFile);
  const std::vector<AppCleaner> loaded = AppCleanerDefinitions::load(folder.path());
  ASSERT_EQ(loaded.size(), 1u);
  const QString old = write(cacheHome() + "/tool/deep/old.bin", bytes(10));
  age(old, 4 * 86400);
  const QString fresh = write(cacheHome() + "/tool/fresh.bin", bytes(10));
  const QString other = write(cacheHome() + "/tool/old.txt", bytes(10));
  age(other, 4 * 86400);
  write(configHome() + "/tool/Default/GPUCache/data_0", bytes(1));
  write(configHome() + "/tool/Profile 2/GPUCache/data_0", bytes(1));
  link(cacheHome() + "/tool", configHome() + "/tool/Linked");

  const QVector<CleanerTarget> targets = loaded.front().targets(PrivacyEnvironment::current());
  QStringList paths;
  for (const CleanerTarget &target : targets)
    paths << target.folder;
  EXPECT_EQ(paths, QStringList({cacheHome() + "/tool", configHome() + "/tool/Default/GPUCache",
                                configHome() + "/tool/Profile 2/GPUCache"}));

  const AppCleanerRules rules(loaded.front(), qint64(time(nullptr)), getuid());
  const UniqueFd root = FileWalker::openDirectory(QFile::encodeName(cacheHome() + "/tool"), false);
  ASSERT_TRUE(root.isValid());
  QSet<FileId> seen;
  EXPECT_EQ(PrivacyTree::measure(root.get(), seen, &rules), 10);
  const CleanCount count = PrivacyTree::empty(root.get(), &rules);
  EXPECT_EQ(count.deleted, 1);
  EXPECT_EQ(count.failed, 0);
  EXPECT_FALSE(QFileInfo::exists(old));
  EXPECT_TRUE(QFileInfo::exists(fresh));
  EXPECT_TRUE(QFileInfo::exists(other));

  // Without a name pattern emptied folders go too, but under the age limit
  // only old ones: a program's fresh empty folder stays.
  AppCleaner every = loaded.front();
  every.files.clear();
  QDir().mkpath(cacheHome() + "/tool/fresh-empty");
  QDir().mkpath(cacheHome() + "/tool/old-empty");
  age(cacheHome() + "/tool/old-empty", 4 * 86400);
  const AppCleanerRules everyRules(every, qint64(time(nullptr)), getuid());
  PrivacyTree::empty(root.get(), &everyRules);
  EXPECT_TRUE(QFileInfo::exists(cacheHome() + "/tool/fresh-empty"));
  EXPECT_FALSE(QFileInfo::exists(cacheHome() + "/tool/old-empty"));
}
