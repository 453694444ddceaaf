#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

#include "online/ClientIdentity.h"
#include "platform/os/linux/LinuxIdentitySources.h"

namespace {

class FixedSources : public IdentitySources {
public:
  QString disk, board, address;
  QString systemDiskSerial() const override { return disk; }
  QString boardSerial() const override { return board; }
  QString adapterAddress() const override { return address; }
};

const QRegularExpression identifierShape(QStringLiteral("^[1-9A-FX]{16}$"));

TEST(ClientIdentityTest, SourceTextKeepsEmptyFieldsOrFallsBackToTheHostName) {
  EXPECT_EQ(ClientIdentity::sourceText("", "", "", "myhost"), "10001_myhost");
  EXPECT_EQ(ClientIdentity::sourceText("", "", "02:FC:00:00:00:01", "myhost"),
            "10001___02:FC:00:00:00:01");
  EXPECT_EQ(ClientIdentity::sourceText("S123", "B456", "AA:BB:CC:DD:EE:FF", "myhost"),
            "10001_S123_B456_AA:BB:CC:DD:EE:FF");
  // Text with "%" is taken as it stands.
  EXPECT_EQ(ClientIdentity::sourceText("%1%2", "", "", "h"), "10001_%1%2__");
}

TEST(ClientIdentityTest, DigestIsSixteenHexDigitsWithXForZero) {
  EXPECT_EQ(ClientIdentity::digest("10001_myhost"), "F4E8FF2BF1F19FD4");
  EXPECT_EQ(ClientIdentity::digest("10001___02:FC:00:00:00:01"), "A2B28B6X3E8B3857");
  EXPECT_EQ(ClientIdentity::digest("10001_S123_B456_AA:BB:CC:DD:EE:FF"), "6FX8BBB632799FX9");
  for (int i = 0; i < 200; ++i)
    EXPECT_TRUE(identifierShape.match(ClientIdentity::digest(QString::number(i))).hasMatch());
}

TEST(ClientIdentityTest, PlaceholderSerialsCountAsEmpty) {
  for (const char *placeholder :
       {"To be filled by O.E.M.", "to be filled by o.e.m.", "Default string", "None", "0",
        "00000000", "FFFFFFFF", "  XXXX  ", "", "   "})
    EXPECT_TRUE(ClientIdentity::isPlaceholder(placeholder)) << placeholder;
  for (const char *serial : {"S123", "0001", "WD-WCC4N1234567", "None1"})
    EXPECT_FALSE(ClientIdentity::isPlaceholder(serial)) << serial;

  FixedSources sources;
  sources.disk = "Default string";
  sources.board = "To be filled by O.E.M.";
  EXPECT_EQ(ClientIdentity::fromFacts(sources, "myhost"), ClientIdentity::digest("10001_myhost"));
  sources.address = "02:FC:00:00:00:01";
  EXPECT_EQ(ClientIdentity::fromFacts(sources, "myhost"),
            ClientIdentity::digest("10001___02:FC:00:00:00:01"));
  sources.disk = " S123 ";
  sources.board = "B456";
  EXPECT_EQ(ClientIdentity::fromFacts(sources, "myhost"),
            ClientIdentity::digest("10001_S123_B456_02:FC:00:00:00:01"));
}

// A prepared sysfs tree: which adapter and which board serial count.
class IdentityTreeTest : public ::testing::Test {
protected:
  void adapter(const QString &name, int index, const QString &address, const QString &assignType,
               bool physical) {
    const QString dir = root.filePath("sys/class/net/" + name);
    ASSERT_TRUE(QDir().mkpath(dir));
    if (physical) {
      ASSERT_TRUE(QDir().mkpath(dir + "/device"));
    }
    write(dir + "/address", address + "\n");
    write(dir + "/addr_assign_type", assignType + "\n");
    write(dir + "/ifindex", QString::number(index) + "\n");
  }
  void write(const QString &path, const QString &content) {
    QFile file(path);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
  }
  LinuxIdentitySources sources() { return LinuxIdentitySources(root.path()); }

  QTemporaryDir root;
};

TEST_F(IdentityTreeTest, FirstPhysicalAdapterWithAPermanentAddress) {
  EXPECT_EQ(sources().adapterAddress(), "");
  adapter("lo", 1, "00:00:00:00:00:00", "0", false);
  adapter("ifb0", 2, "22:c3:17:91:b3:34", "1", false);   // virtual, random
  adapter("dummy0", 3, "5e:d8:6d:1c:48:2e", "0", false); // virtual, permanent
  adapter("wlan0", 4, "7a:11:22:33:44:55", "1", true);   // physical, random
  adapter("zeros", 5, "00:00:00:00:00:00", "0", true);
  EXPECT_EQ(sources().adapterAddress(), "");
  adapter("eth1", 9, "02:fc:00:00:00:09", "0", true);
  adapter("eth0", 7, "02:fc:00:00:00:01", "0", true);
  EXPECT_EQ(sources().adapterAddress(), "02:FC:00:00:00:01");
  // Adding a virtual adapter changes nothing.
  adapter("veth0", 6, "aa:bb:cc:dd:ee:ff", "0", false);
  EXPECT_EQ(sources().adapterAddress(), "02:FC:00:00:00:01");
}

TEST_F(IdentityTreeTest, BoardSerialOnlyWhenEveryUserCanReadIt) {
  const QString serial = root.filePath("sys/class/dmi/id/board_serial");
  write(serial, "BOARD-42\n");
  QFile::setPermissions(serial, QFile::ReadOwner | QFile::WriteOwner);
  EXPECT_EQ(sources().boardSerial(), "");
  QFile::setPermissions(serial, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
  EXPECT_EQ(sources().boardSerial(), "BOARD-42");
}

TEST_F(IdentityTreeTest, DiskSerialFromUdevDataOfTheSystemDisk) {
  write(root.filePath("proc/self/mountinfo"),
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n");
  write(root.filePath("sys/block/sda/dev"), "8:0\n");
  write(root.filePath("sys/block/sda/sda1/dev"), "8:1\n");
  write(root.filePath("sys/block/sda/sda1/partition"), "1\n");
  ASSERT_TRUE(QDir().mkpath(root.filePath("sys/dev/block")));
  ASSERT_TRUE(QFile::link("../../block/sda/sda1", root.filePath("sys/dev/block/8:1")));
  EXPECT_EQ(sources().systemDiskSerial(), "");
  write(root.filePath("run/udev/data/b8:0"),
        "E:ID_SERIAL=Maker_Disk_WD-123\nE:ID_SERIAL_SHORT=WD-123\n");
  EXPECT_EQ(sources().systemDiskSerial(), "WD-123");
}

QString probe(const QStringList &prefix = {}) {
  QProcess process;
  QStringList arguments = prefix;
  arguments << TW_ONLINE_PROBE << "client-id";
  process.start(arguments.takeFirst(), arguments);
  EXPECT_TRUE(process.waitForFinished(20000));
  return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

TEST(ClientIdentityProcessTest, SameInEveryProcessAndForEveryUser) {
  const QString id = ClientIdentity::current();
  EXPECT_TRUE(identifierShape.match(id).hasMatch()) << id.toStdString();
  EXPECT_EQ(probe(), id);
  EXPECT_EQ(probe(), id);
  if (::geteuid() != 0)
    GTEST_SKIP() << "not root: cannot run the probe as another user";
  const QString asNobody = probe({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  if (asNobody.isEmpty())
    GTEST_SKIP() << "the probe could not run as nobody (is the build folder readable by all?)";
  EXPECT_EQ(asNobody, id);
}

} // namespace

namespace {

// A virtual adapter added at run time changes nothing: in a network
// namespace of its own (with its own sysfs view) the identifier is the same
// before and after a dummy interface appears.
TEST(ClientIdentityProcessTest, AVirtualAdapterChangesNothing) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "a network namespace with its own sysfs needs root";
  const QString script =
      QStringLiteral("mount -t sysfs sysfs /sys || exit 3; "
                     "\"$0\" client-id; ip link add twdummy0 type dummy || exit 4; "
                     "ip link set twdummy0 up; \"$0\" client-id");
  QProcess process;
  process.start("unshare", {"--net", "--mount", "sh", "-c", script, TW_ONLINE_PROBE});
  ASSERT_TRUE(process.waitForFinished(20000));
  if (process.exitCode() != 0)
    GTEST_SKIP() << "no network namespace or dummy interface here: "
                 << process.readAllStandardError().toStdString();
  const QStringList ids =
      QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(ids.size(), 2);
  EXPECT_EQ(ids[0], ids[1]);
  EXPECT_TRUE(identifierShape.match(ids[0]).hasMatch());
}

} // namespace
