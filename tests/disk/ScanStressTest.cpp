// Many scans of both kinds started, extended and stopped at once from several
// threads. Meant to run under ThreadSanitizer as well.
#include "disk/DuplicateFileFinder.h"
#include "disk/LargeFileScanner.h"

#include "DiskTestSupport.h"

#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

TEST(ScanStress, EveryScanEndsExactlyOnceAfterItsProgress) {
  TempTree tree;
  for (int folder = 0; folder < 8; ++folder) {
    for (int file = 0; file < 12; ++file)
      tree.write(QString("f%1/sub/%2").arg(folder).arg(file), QByteArray(file * 3 + 1, 'a' + file));
  }
  constexpr int threadCount = 4;
  constexpr int scansPerThread = 15;
  struct Scan {
    bool large;
    int id;
    std::shared_ptr<MessageLog> log;
  };
  std::vector<std::vector<Scan>> started(threadCount);
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(t);
      LargeFileScanner large;
      DuplicateFileFinder duplicates;
      for (int i = 0; i < scansPerThread; ++i) {
        const QString folders = tree.path(QString("f%1").arg(random() % 8));
        for (const bool isLarge : {true, false}) {
          auto log = MessageLog::create();
          const int id = isLarge ? large.startScanLargeFiles(folders, 2, log->callback(log))
                                 : duplicates.startScanDuplicateFiles(folders, log->callback(log));
          started[t].push_back({isLarge, id, log});
        }
        // Extend and stop scans started earlier, some of which have ended.
        for (const Scan &scan : started[t]) {
          const QString extra = tree.path(QString("f%1").arg(random() % 8));
          switch (random() % 4) {
          case 0:
            scan.large ? large.addScanLargeFilesFolder(scan.id, extra)
                       : duplicates.addScanDuplicateFilesFolder(scan.id, extra);
            break;
          case 1:
            scan.large ? large.stopScanLargeFiles(scan.id)
                       : duplicates.stopScanDuplicateFiles(scan.id);
            break;
          default:
            break;
          }
        }
      }
    });
  }
  for (std::thread &thread : threads)
    thread.join();

  std::set<int> largeIds, duplicateIds;
  for (const std::vector<Scan> &scans : started) {
    for (const Scan &scan : scans) {
      ASSERT_TRUE(scan.log->waitForEnd(std::chrono::seconds(120)));
      EXPECT_TRUE((scan.large ? largeIds : duplicateIds).insert(scan.id).second);
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300)); // room for a stray second end
  for (const std::vector<Scan> &scans : started) {
    for (const Scan &scan : scans) {
      EXPECT_TRUE(scan.log->wellFormed());
      for (const MessageLog::Message &message : scan.log->messages())
        EXPECT_EQ(message.id, scan.id);
      const QString end = scan.log->last().type;
      EXPECT_TRUE(end == "done" || end == "stopped") << end.toStdString();
      EXPECT_FALSE(parseObject(scan.log->last().data).isEmpty());
    }
  }
  EXPECT_EQ(largeIds.size(), size_t(threadCount * scansPerThread));
  EXPECT_EQ(duplicateIds.size(), size_t(threadCount * scansPerThread));
}
