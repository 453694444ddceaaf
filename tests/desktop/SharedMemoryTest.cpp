// Shared-memory values between running programs of the product: real System
// V segments, real peer processes, a writer killed with SIGKILL, and what
// ipcs(1) shows afterwards.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/ipc.h>

#include "bridge/SharedMemoryStore.h"
#include "tests/desktop/PeerProcess.h"

namespace {

// The System V key of a script key, as ipcs prints it.
QString ipcsKey(const QString &key) {
  const QString file = SharedMemorySegment::keyFile(SharedMemoryStore::segmentName(key));
  const key_t systemKey = ftok(QFile::encodeName(file).constData(), 'T');
  return QStringLiteral("0x%1").arg(static_cast<quint32>(systemKey), 8, 16, QLatin1Char('0'));
}

// The ipcs -m line of that key, or "".
QString ipcsLine(const QString &key) {
  QProcess ipcs;
  ipcs.start(QStringLiteral("ipcs"), {QStringLiteral("-m")});
  EXPECT_TRUE(ipcs.waitForFinished(10000));
  const QString wanted = ipcsKey(key);
  for (const QString &line : QString::fromUtf8(ipcs.readAllStandardOutput()).split('\n'))
    if (line.startsWith(wanted + ' '))
      return line.simplified();
  return {};
}

QString uniqueKey(const char *name) {
  return QStringLiteral("%1-%2").arg(QLatin1String(name)).arg(QCoreApplication::applicationPid());
}

QString peerValue(const QString &key) {
  return PeerProcess::run({"shm-get", key}).at(0).toString();
}

} // namespace

TEST(SharedMemory, AValueSetInOneProgramIsReadInAnotherWhileTheWriterRuns) {
  const QString key = uniqueKey("running");
  const QString value = QStringLiteral("{\"page\": \"清理\", \"n\": 1}\n");
  PeerProcess writer({"shm-set", key, value});
  ASSERT_EQ(writer.result().at(0).toBool(), true);
  EXPECT_EQ(peerValue(key), value);
  EXPECT_EQ(peerValue(key), value) << "a reader leaves the value for the next one";
  EXPECT_FALSE(ipcsLine(key).isEmpty());

  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(peerValue(key), "") << "the value goes with the program that set it";
  EXPECT_EQ(ipcsLine(key), "") << "no segment is left behind after normal exits";
}

TEST(SharedMemory, TheWriterItselfReadsNothingAndASecondSetReplacesTheSegment) {
  const QString key = uniqueKey("self");
  SharedMemoryStore store;
  ASSERT_TRUE(store.setValue(key, "short"));
  EXPECT_EQ(store.value(key), "") << "the writer's own segment is still attached";
  const QString longer(5000, QChar(0x6f6e));
  ASSERT_TRUE(store.setValue(key, longer));
  EXPECT_EQ(peerValue(key), longer);
  const QStringList fields = ipcsLine(key).split(' ');
  ASSERT_GE(fields.size(), 5);
  EXPECT_EQ(fields.at(4).toInt(), SharedMemoryStore::serialise(key, longer).size())
      << "the segment has the new value's size";
}

TEST(SharedMemory, AKilledWritersSegmentIsReclaimedForALongerValue) {
  const QString key = uniqueKey("killed");
  {
    PeerProcess writer({"shm-set", key, "short"});
    ASSERT_EQ(writer.result().at(0).toBool(), true);
    writer.kill();
  }
  const QStringList stale = ipcsLine(key).split(' ');
  ASSERT_GE(stale.size(), 6) << "the killed writer's segment survives it";
  EXPECT_EQ(stale.at(5), "0") << "nobody holds it";

  const QString longer = QStringLiteral("a much longer value than the killed writer left: ") +
                         QString(300, QLatin1Char('x'));
  PeerProcess writer({"shm-set", key, longer});
  ASSERT_EQ(writer.result().at(0).toBool(), true);
  EXPECT_EQ(peerValue(key), longer) << "the whole new value, not the old segment's share of it";
  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(ipcsLine(key), "");
}

TEST(SharedMemory, AReaderRemovesWhatAKilledWriterLeftInsteadOfReadingIt) {
  const QString key = uniqueKey("stale-read");
  {
    PeerProcess writer({"shm-set", key, "from a dead program"});
    ASSERT_EQ(writer.result().at(0).toBool(), true);
    writer.kill();
  }
  ASSERT_FALSE(ipcsLine(key).isEmpty());
  EXPECT_EQ(peerValue(key), "");
  EXPECT_EQ(ipcsLine(key), "");
}

TEST(SharedMemory, ALongerValueReplacesTheSegmentAnotherProgramStillHolds) {
  const QString key = uniqueKey("held");
  PeerProcess holder({"shm-set", key, "old"});
  ASSERT_EQ(holder.result().at(0).toBool(), true);
  {
    SharedMemoryStore store;
    const QString longer = QStringLiteral("newer and longer than the held one");
    ASSERT_TRUE(store.setValue(key, longer));
    EXPECT_EQ(peerValue(key), longer) << "never a truncated value";
    ASSERT_TRUE(store.setValue(key, "tiny"));
    EXPECT_EQ(peerValue(key), "tiny");
  }
  ASSERT_TRUE(holder.finish());
  EXPECT_EQ(ipcsLine(key), "");
}

TEST(SharedMemory, KeyFilesLiveInTheRuntimeFolderAndSurviveATemporaryFolderCleaner) {
  const QString key = uniqueKey("cleaner");
  const QString file = SharedMemorySegment::keyFile(SharedMemoryStore::segmentName(key));
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  ASSERT_FALSE(runtime.isEmpty());
  EXPECT_TRUE(file.startsWith(runtime + "/Tidewell/")) << file.toStdString();

  PeerProcess writer({"shm-set", key, "kept"});
  ASSERT_EQ(writer.result().at(0).toBool(), true);
  EXPECT_TRUE(QFile::exists(file));
  // What a cleaner of the temporary folder does.
  QDir temp(QDir::tempPath());
  for (const QString &name : temp.entryList(QDir::Files | QDir::Hidden | QDir::System))
    temp.remove(name);
  EXPECT_EQ(peerValue(key), "kept");
  EXPECT_TRUE(writer.finish());
}

TEST(SharedMemory, UnknownKeysAndOddKeysReadEmpty) {
  EXPECT_EQ(peerValue(uniqueKey("never-set")), "");
  SharedMemoryStore store;
  const QString odd = QStringLiteral("../../etc/passwd ") + uniqueKey("odd");
  ASSERT_TRUE(store.setValue(odd, "v"));
  EXPECT_EQ(peerValue(odd), "v");
  EXPECT_TRUE(SharedMemorySegment::keyFile(SharedMemoryStore::segmentName(odd))
                  .startsWith(SharedMemorySegment::keyFolder() + "/qipc_sharedmemory_"));
}

TEST(SharedMemory, ContentIsTheDataStreamOfTheIndentedJsonObject) {
  const QByteArray bytes = SharedMemoryStore::serialise("k", "v");
  const QByteArray json = "{\n    \"k\": \"v\"\n}\n";
  ASSERT_EQ(bytes.size(), 4 + 2 * json.size());
  EXPECT_EQ(bytes.left(4),
            QByteArray::fromHex(QByteArray::number(2 * json.size(), 16).rightJustified(8, '0')));
  EXPECT_EQ(bytes.at(5), '{') << "UTF-16 big-endian";
  EXPECT_EQ(SharedMemoryStore::deserialise(bytes, "k"), "v");
  EXPECT_EQ(SharedMemoryStore::deserialise(bytes.left(bytes.size() - 2), "k"), "")
      << "an incomplete string reads as nothing";
  EXPECT_EQ(SharedMemoryStore::deserialise(bytes, "other"), "");
}
