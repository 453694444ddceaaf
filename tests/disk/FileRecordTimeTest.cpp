#include "disk/DuplicateFileFinder.h"
#include "disk/FileRecord.h"

#include "DiskTestSupport.h"

#include <QDateTime>
#include <QJsonArray>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <gtest/gtest.h>

namespace {

// What every record showed when each conversion went through Qt.
QString qtText(qint64 secs) {
  return QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime)
      .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

class ZoneGuard {
public:
  ZoneGuard() : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ")) {}
  ~ZoneGuard() {
    if (had_)
      qputenv("TZ", old_);
    else
      qunsetenv("TZ");
    FileRecord::resolveTimeZone();
  }

private:
  bool had_;
  QByteArray old_;
};

// Around daylight-time changes, odd offsets, the epoch and the end of 2037,
// and outside the range the C library converts for us.
const qint64 instants[] = {0,          59,         1711846799, 1711846800,
                           1729990800, 1699999999, 1577836800, 2145916799,
                           2145916800, 2208988800, -1,         -86400 * 400};

const char *const zones[] = {nullptr,
                             "UTC",
                             "Europe/Berlin",
                             "America/St_Johns",
                             "Asia/Kathmandu",
                             "Australia/Lord_Howe",
                             "EST5EDT,M3.2.0,M11.1.0",
                             ":Pacific/Chatham"};

} // namespace

TEST(FileRecordTime, SameTextAsQtInEveryZone) {
  ZoneGuard guard;
  QSet<QString> distinct;
  for (const char *zone : zones) {
    if (zone)
      qputenv("TZ", zone);
    else
      qunsetenv("TZ");
    FileRecord::resolveTimeZone();
    for (qint64 secs : instants) {
      FileRecord record;
      record.modifiedSecs = secs;
      // Twice: the second comes from the per-thread text of the last minute.
      EXPECT_EQ(record.modifiedTime(), qtText(secs)) << (zone ? zone : "(unset)") << " " << secs;
      EXPECT_EQ(record.modifiedTime(), qtText(secs)) << (zone ? zone : "(unset)") << " " << secs;
    }
    FileRecord epoch;
    distinct.insert(epoch.modifiedTime());
  }
  // The zone really changed between rounds.
  EXPECT_GE(distinct.size(), 5);
}

TEST(FileRecordTime, ScanResultsShowTheZoneOfTheirRun) {
  ZoneGuard guard;
  TempTree tree;
  const qint64 times[] = {1711846700, 1729990860, 1000000000};
  QStringList files;
  for (int i = 0; i < 3; ++i) {
    files.append(tree.write(QStringLiteral("f%1").arg(i), "same bytes"));
    const struct timespec stamps[2] = {{time_t(times[i]), 0}, {time_t(times[i]), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, files[i].toUtf8().constData(), stamps, 0), 0);
  }
  for (const char *zone : {"Europe/Berlin", "Asia/Kathmandu", "America/St_Johns"}) {
    qputenv("TZ", zone);
    const QJsonArray groups = parseObject(DuplicateFileFinder().findDuplicateFiles(tree.root()))
                                  .value("groups")
                                  .toArray();
    ASSERT_EQ(groups.size(), 1) << zone;
    const QJsonArray found = groups[0].toObject().value("files").toArray();
    ASSERT_EQ(found.size(), 3);
    for (const QJsonValue &file : found) {
      const int i = files.indexOf(file.toObject().value("path").toString());
      ASSERT_GE(i, 0);
      EXPECT_EQ(file.toObject().value("modifiedTime").toString(), qtText(times[i])) << zone;
    }
  }
}
