// The swap size from /proc/swaps, the refusals of migratePagefile, and the
// move sequence against a prepared mount table, fstab and recording mkswap,
// swapon and swapoff, with a failure injected at each step.
#include <QProcess>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include "CleanupTestSupport.h"
#include "cleanup/Pagefile.h"
#include "platform/storage/LinuxStorageInfo.h"
#include "platform/swap/linux/LinuxSwapApi.h"
#include "platform/swap/linux/SwapFileMove.h"

namespace {

// A machine whose root is on sda1, with a fixed volume on sda2, a USB stick
// and a network share mounted inside the tree, an old swap file of 4 MiB,
// and stand-ins for the swap tools that keep the tree's /proc/swaps.
class SwapMachine : public ::testing::Test {
protected:
  void SetUp() override {
    const QString pci = "sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block";
    const QString usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/block";
    disk(pci + "/sda", "8:0");
    partition(pci + "/sda/sda1", "8:1");
    partition(pci + "/sda/sda2", "8:2");
    disk(usb + "/sdb", "8:16");
    partition(usb + "/sdb/sdb1", "8:17");
    volume = tree.mkdir("vol");
    tree.mkdir("usb");
    tree.mkdir("nfs");
    tree.write("proc/self/mountinfo", "26 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                      "30 26 8:2 / " +
                                          volume.toUtf8() +
                                          " rw - ext4 /dev/sda2 rw\n"
                                          "31 26 8:17 / " +
                                          tree.path("usb").toUtf8() +
                                          " rw - vfat /dev/sdb1 rw\n"
                                          "32 26 0:50 / " +
                                          tree.path("nfs").toUtf8() +
                                          " rw - nfs4 server:/export rw\n");
    oldFile = tree.write("old/swapfile", QByteArray(4 << 20, '\0'));
    swaps = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n" + oldFile.toUtf8() +
            " file 4092 0 -2\n";
    tree.write("proc/swaps", swaps);
    fstab = "UUID=1234 / ext4 errors=remount-ro 0 1\n# swap was on the system disk\n" +
            oldFile.toUtf8() + "   none  swap sw 0 0\n/dev/sdb1 /media/usb vfat noauto 0 0\n";
    tree.write("etc/fstab", fstab);
    // The commands get the file through our descriptor (/proc/PID/fd/N): the
    // stand-ins record the file it names. A kill file makes one kill the
    // move (SIGKILL) as it starts on that file.
    const QByteArray record =
        "f=$(readlink -f \"$1\")\necho \"$(basename \"$0\") $f\" >> " +
        tree.path("calls").toUtf8() + "\nif [ \"$(cat " + tree.path("fail-").toUtf8() +
        "$(basename \"$0\") 2>/dev/null)\" = \"$f\" ]; then exit 1; fi\n"
        "if [ \"$(cat " +
        tree.path("kill-").toUtf8() +
        "$(basename \"$0\") 2>/dev/null)\" = \"$f\" ]; then kill -9 $PPID; exit 1; fi\n";
    const QByteArray procSwaps = tree.path("proc/swaps").toUtf8();
    paths.storageRoot = tree.root();
    paths.fstab = tree.path("etc/fstab");
    paths.mkswap = tree.script("bin/mkswap", record);
    paths.swapon = tree.script("bin/swapon", record +
                                                 "echo \"$f file $(( $(stat -L -c %s \"$1\") / "
                                                 "1024 - 4 )) 0 -2\" >> " +
                                                 procSwaps + "\n");
    paths.swapoff =
        tree.script("bin/swapoff", record + "grep -v -F \"$f \" " + procSwaps + " > " + procSwaps +
                                       ".new; mv " + procSwaps + ".new " + procSwaps + "\n");
    paths.helper = "/nonexistent/helper";
  }

  void disk(const QString &dir, const QString &dev) {
    tree.write(dir + "/dev", dev.toLatin1() + "\n");
    tree.write(dir + "/removable", "0\n");
    link("sys/dev/block/" + dev, dir);
  }
  void partition(const QString &dir, const QString &dev) {
    tree.write(dir + "/dev", dev.toLatin1() + "\n");
    tree.write(dir + "/partition", "1\n");
    link("sys/dev/block/" + dev, dir);
  }
  void link(const QString &name, const QString &target) {
    QDir().mkpath(QFileInfo(tree.path(name)).path());
    ASSERT_TRUE(QFile::link(tree.path(target), tree.path(name)));
  }

  QStringList calls() const {
    QStringList lines = QString::fromUtf8(tree.read("calls")).split('\n');
    lines.removeAll(QString());
    return lines;
  }
  QString newFile() const { return volume + "/swapfile"; }
  // Its name until it is swap.
  QString partial() const { return volume + "/swapfile.tidewell-new"; }

  // After a failure: the machine exactly as before.
  void expectUntouched() {
    EXPECT_EQ(tree.read("proc/swaps"), swaps);
    EXPECT_EQ(tree.read("etc/fstab"), fstab);
    EXPECT_FALSE(QFileInfo::exists(newFile()));
    EXPECT_FALSE(QFileInfo::exists(partial()));
    EXPECT_TRUE(QFileInfo(oldFile).isFile());
    EXPECT_FALSE(QFileInfo::exists(oldFile + ".tidewell-old"));
  }

  TempTree tree;
  SwapPaths paths;
  QString volume;
  QString oldFile;
  QByteArray swaps;
  QByteArray fstab;
};

} // namespace

TEST(SwapSize, CountsActiveFilesOnlyInWholeMebibytes) {
  TempTree tree;
  // Sizes come from the file where it exists (sparse here), else from the kernel's count.
  const QString deletedButThere = tree.write("kept (deleted)", "");
  QFile(deletedButThere).resize(1536ll << 20);
  tree.write("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n"
                           "/swap\\040file                           file\t\t1048572\t0\t-2\n"
                           "/dev/sda3                               partition\t2048\t0\t-3\n"
                           "/dev/zram0                              partition\t4194300\t0\t100\n"
                           "/old\\040(deleted)                       file\t\t1048572\t0\t-4\n" +
                               deletedButThere.toUtf8().replace(" ", "\\040") +
                               " file 1572860 0 -5\n");
  auto storage = std::make_shared<LinuxStorageInfo>(tree.root());
  // 1 GiB, and 1.5 GiB under a name that only looks deleted.
  EXPECT_EQ(Pagefile(storage, std::make_shared<LinuxSwapApi>()).getPagefileSize(), "2684354560");
  tree.write("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n"
                           "/swapfile file 1048576 0 -2\n"); // 1 GiB and one page
  EXPECT_EQ(Pagefile(storage, std::make_shared<LinuxSwapApi>()).getPagefileSize(), "1073741824");
  tree.write("proc/swaps", "Filename\tType\tSize\tUsed\tPriority\n");
  EXPECT_EQ(Pagefile(storage, std::make_shared<LinuxSwapApi>()).getPagefileSize(), "0");
}

TEST(SwapSize, AgreesWithSwaponOnThisMachine) {
  QProcess swapon;
  swapon.start("swapon", {"--show=TYPE,NAME", "--raw", "--noheadings"});
  ASSERT_TRUE(swapon.waitForFinished(10000));
  quint64 total = 0;
  for (const QString &line : QString::fromUtf8(swapon.readAllStandardOutput()).split('\n')) {
    if (!line.startsWith("file "))
      continue;
    QProcess stat;
    stat.start("stat", {"-c", "%s", line.mid(5)});
    stat.waitForFinished();
    total += stat.readAllStandardOutput().trimmed().toULongLong();
  }
  EXPECT_EQ(Pagefile().getPagefileSize(), QString::number((total >> 20) << 20));
}

TEST_F(SwapMachine, RefusesAnythingButALocalFixedVolumeBeforeChangingAnything) {
  Pagefile pagefile(std::make_shared<LinuxStorageInfo>(tree.root()),
                    std::make_shared<LinuxSwapApi>(paths));
  for (const QString &target :
       {QString("/"), QString("vol"), tree.path("usb"), tree.path("nfs"), tree.path("missing"),
        volume + "/", volume + "/../vol", tree.path("old"), QString()})
    EXPECT_FALSE(pagefile.migratePagefile(target)) << target.toStdString();
  EXPECT_EQ(calls(), QStringList());
  expectUntouched();
  if (geteuid() != 0)
    return; // the accepted target goes to the helper through pkexec
  EXPECT_TRUE(pagefile.migratePagefile("  " + volume + " "));
  EXPECT_EQ(calls(),
            QStringList({"mkswap " + partial(), "swapon " + newFile(), "swapoff " + oldFile}));
}

TEST_F(SwapMachine, MovesInAnOrderThatNeverLeavesTheMachineWithoutSwap) {
  SwapFileMove move(paths);
  ASSERT_TRUE(move.run(volume)) << move.error().toStdString();
  EXPECT_EQ(calls(),
            QStringList({"mkswap " + partial(), "swapon " + newFile(), "swapoff " + oldFile}));
  EXPECT_EQ(tree.read("proc/swaps"), "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n" +
                                         newFile().toUtf8() + " file 4092 0 -2\n");
  EXPECT_EQ(tree.read("etc/fstab"), "UUID=1234 / ext4 errors=remount-ro 0 1\n"
                                    "# swap was on the system disk\n"
                                    "/dev/sdb1 /media/usb vfat noauto 0 0\n" +
                                        newFile().toUtf8() + " none swap sw 0 0\n");
  EXPECT_EQ(tree.read("etc/fstab.tidewell.bak"), fstab);
  struct stat info;
  ASSERT_EQ(stat(newFile().toLocal8Bit().constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(info.st_size, 4 << 20);
  EXPECT_GE(info.st_blocks * 512, info.st_size); // no holes
  EXPECT_FALSE(QFileInfo::exists(oldFile));
  EXPECT_FALSE(QFileInfo::exists(oldFile + ".tidewell-old"));
  EXPECT_FALSE(QFileInfo::exists(tree.path("etc/fstab.tidewell-new")));
  // Once there, it is not moved onto itself.
  EXPECT_FALSE(SwapFileMove(paths).run(volume));
}

TEST_F(SwapMachine, EachFailingStepUndoesTheStepsBefore) {
  struct Case {
    const char *tool;
    QString file;
    QStringList calls;
  };
  const QString p = partial(), n = newFile(), o = oldFile;
  const QList<Case> cases = {
      {"mkswap", p, {"mkswap " + p}},
      {"swapon", n, {"mkswap " + p, "swapon " + n}},
      {"fstab", n, {"mkswap " + p, "swapon " + n, "swapoff " + n}},
      {"swapoff", o, {"mkswap " + p, "swapon " + n, "swapoff " + o, "swapoff " + n}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.tool);
    QFile::remove(tree.path("calls"));
    if (QString(c.tool) == "fstab")
      tree.mkdir("etc/fstab.tidewell-new"); // the new fstab cannot be written
    else
      tree.write(QString("fail-") + c.tool, c.file.toUtf8());
    SwapFileMove move(paths);
    EXPECT_FALSE(move.run(volume));
    EXPECT_FALSE(move.error().isEmpty());
    EXPECT_EQ(calls(), c.calls);
    expectUntouched();
    QFile::remove(tree.path(QString("fail-") + c.tool));
    QDir(tree.path("etc/fstab.tidewell-new")).removeRecursively();
  }
}

TEST_F(SwapMachine, AnOldFileThatCannotBeDeletedIsTurnedBackOn) {
  if (QProcess::execute("chattr", {"+i", oldFile}) != 0)
    GTEST_SKIP() << "cannot make a file immutable here (needs root and a file system with "
                    "attributes)";
  SwapFileMove move(paths);
  EXPECT_FALSE(move.run(volume));
  QProcess::execute("chattr", {"-i", oldFile});
  EXPECT_EQ(calls(),
            QStringList({"mkswap " + partial(), "swapon " + newFile(), "swapoff " + oldFile,
                         "swapon " + oldFile, "swapoff " + newFile()}));
  EXPECT_EQ(tree.read("etc/fstab"), fstab);
  EXPECT_FALSE(QFileInfo::exists(newFile()));
  EXPECT_TRUE(QFileInfo(oldFile).isFile());
  // Turned back on: listed again, if after the new one's removal.
  EXPECT_TRUE(tree.read("proc/swaps").contains(oldFile.toUtf8() + " file"));
  EXPECT_FALSE(tree.read("proc/swaps").contains(newFile().toUtf8()));
}

TEST_F(SwapMachine, RefusesATargetFolderOthersCanChange) {
  const QByteArray target = QFile::encodeName(volume), top = QFile::encodeName(tree.root());
  // Folder, mode and owner: the target world- or group-writable, a folder on
  // the way world-writable, the target another user's (as root only).
  QList<std::tuple<QByteArray, mode_t, uid_t>> cases = {
      {target, 0777, geteuid()}, {target, 0775, geteuid()}, {top, 0777, geteuid()}};
  if (geteuid() == 0)
    cases.append({target, 0755, 65534});
  for (const auto &[folder, mode, owner] : cases) {
    SCOPED_TRACE(folder.toStdString() + " " + std::to_string(mode));
    ASSERT_EQ(chown(folder.constData(), owner, gid_t(-1)) | chmod(folder.constData(), mode), 0);
    SwapFileMove move(paths);
    EXPECT_FALSE(move.run(volume));
    EXPECT_TRUE(move.error().startsWith("refusing " + volume)) << move.error().toStdString();
    EXPECT_EQ(calls(), QStringList());
    expectUntouched();
    chown(folder.constData(), geteuid(), gid_t(-1));
    chmod(folder.constData(), 0700);
  }
  // A sticky folder on the way (as /tmp) cannot have our entry replaced.
  ASSERT_EQ(chmod(top.constData(), 01777), 0);
  SwapFileMove move(paths);
  EXPECT_TRUE(move.run(volume)) << move.error().toStdString();
}

// Links to a victim put where the file goes, as a user who could write to the
// folder would: at the final name before the move, at the partial name while
// mkswap runs.
TEST_F(SwapMachine, NeverActsOnALinkSwappedIn) {
  const QByteArray victim(4 << 20, 'v');
  const QString victimFile = tree.write("etc/victim", victim);
  ASSERT_TRUE(QFile::link(victimFile, newFile()));
  SwapFileMove move(paths);
  EXPECT_FALSE(move.run(volume));
  EXPECT_EQ(calls(), QStringList());
  QFile::remove(newFile());
  tree.script("bin/mkswap", tree.read("bin/mkswap").mid(12) + "mv \"$f\" \"$f.moved\"; ln -s " +
                                victimFile.toUtf8() + " \"$f\"\n");
  EXPECT_FALSE(move.run(volume));
  EXPECT_TRUE(move.error().startsWith("the swap file was replaced")) << move.error().toStdString();
  EXPECT_EQ(calls(), QStringList{"mkswap " + partial()});
  EXPECT_EQ(tree.read("etc/victim"), victim);
  EXPECT_EQ(tree.read("etc/fstab"), fstab);
  EXPECT_EQ(tree.read("proc/swaps"), swaps);
}

// The old file's folder swapped for a link while the new file goes on: the
// old file goes from where it was found, and a file of the same name at the
// link's target stays.
TEST_F(SwapMachine, RemovesTheOldFileWhereItWasFound) {
  const QByteArray decoy(4 << 20, 'd');
  const QString folder = QFileInfo(oldFile).path();
  tree.write("decoy/swapfile", decoy);
  tree.script("bin/swapon", tree.read("bin/swapon").mid(12) + "mv " + folder.toUtf8() + " " +
                                folder.toUtf8() + ".real; ln -s " + tree.path("decoy").toUtf8() +
                                " " + folder.toUtf8() + "\n");
  SwapFileMove move(paths);
  ASSERT_TRUE(move.run(volume)) << move.error().toStdString();
  EXPECT_EQ(tree.read("decoy/swapfile"), decoy);
  EXPECT_EQ(QDir(folder + ".real").entryList(QDir::Files), QStringList());
}

// A move killed (SIGKILL) as it starts each command; the next run ends where a
// whole run would.
TEST_F(SwapMachine, TheRunAfterAKilledMoveTakesItsFileBackOrFinishesIt) {
  const QString p = partial(), n = newFile(), o = oldFile;
  const QStringList whole = {"mkswap " + p, "swapon " + n, "swapoff " + o};
  // The tool, its file, and the calls of the next run.
  const QList<std::tuple<QString, QString, QStringList>> cases = {
      {"mkswap", p, whole},             // the partial file left
      {"swapon", n, whole},             // the new file, not on yet
      {"swapoff", o, {"swapoff " + o}}, // the new file on beside the old, fstab written
  };
  for (const auto &[tool, file, next] : cases) {
    SCOPED_TRACE(tool.toStdString());
    tree.write("proc/swaps", swaps);
    tree.write("etc/fstab", fstab);
    tree.write("old/swapfile", QByteArray(4 << 20, '\0'));
    tree.write("kill-" + tool, file.toUtf8());
    const pid_t child = fork();
    if (child == 0) {
      SwapFileMove(paths).run(volume);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    QFile::remove(tree.path("kill-" + tool));
    QFile::remove(tree.path("calls"));
    SwapFileMove move(paths);
    ASSERT_TRUE(move.run(volume)) << move.error().toStdString();
    EXPECT_EQ(calls(), next);
    EXPECT_EQ(tree.read("proc/swaps"), "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n" +
                                           n.toUtf8() + " file 4092 0 -2\n");
    EXPECT_TRUE(tree.read("etc/fstab").endsWith(n.toUtf8() + " none swap sw 0 0\n"));
    EXPECT_EQ(QDir(volume).entryList(QDir::Files | QDir::Hidden), QStringList{"swapfile"});
    EXPECT_FALSE(QFileInfo::exists(o));
    QFile::remove(n);
  }
}

TEST(SwapHelper, RefusesBadArgumentsAndTargetsItself) {
  for (const QStringList &arguments :
       {QStringList(), QStringList{"move"}, QStringList{"copy", "/data"}, QStringList{"move", "/"},
        QStringList{"move", "relative"}, QStringList{"move", "/nonexistent-mount"},
        QStringList{"move", "/data", "extra"}}) {
    QProcess helper;
    helper.start(TW_SWAP_HELPER, arguments);
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitCode(), 2) << arguments.join(' ').toStdString();
  }
}

namespace {

// Two loop-mounted ext4 file systems; unmounted and removed at the end.
class LoopVolumes {
public:
  bool mount() {
    for (const QString name : {"a", "b"}) {
      const QString image = tree.path(name + ".img");
      QFile file(image);
      if (!file.open(QIODevice::WriteOnly) || !file.resize(128 << 20))
        return false;
      file.close();
      tree.mkdir(name);
      if (QProcess::execute("mkfs.ext4", {"-q", "-F", image}) != 0 ||
          QProcess::execute("mount", {"-o", "loop", image, tree.path(name)}) != 0)
        return false;
      mounted.append(tree.path(name));
    }
    return true;
  }
  ~LoopVolumes() {
    for (const QString &swap : {tree.path("a/swapfile"), tree.path("b/swapfile")})
      QProcess::execute("swapoff", {swap});
    for (const QString &point : mounted)
      QProcess::execute("umount", {point});
  }

  TempTree tree;
  QStringList mounted;
};

bool hasSwap() {
  QFile swaps("/proc/swaps");
  return !swaps.open(QIODevice::ReadOnly) || swaps.readAll().count('\n') > 1;
}

} // namespace

// For real: mkswap, swapon and swapoff on loop-mounted file systems. The mount
// table says the target is a fixed disk (loop devices are not volumes a user
// picks); /proc/swaps is the kernel's own.
TEST(SwapForReal, MovesASwapFileBetweenLoopMountedFileSystems) {
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to mount and to turn swap on";
  if (hasSwap())
    GTEST_SKIP() << "this machine has swap of its own, which the move would take along";
  LoopVolumes volumes;
  if (!volumes.mount())
    GTEST_SKIP() << "cannot loop-mount a file system here";
  const QString oldFile = volumes.tree.write("a/swapfile", QByteArray(8 << 20, '\0'));
  QFile::setPermissions(oldFile, QFile::ReadOwner | QFile::WriteOwner);
  if (QProcess::execute("mkswap", {"-q", oldFile}) != 0 ||
      QProcess::execute("swapon", {oldFile}) != 0)
    GTEST_SKIP() << "cannot turn swap on here";

  TempTree machine;
  const QString pci =
      "sys/devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0/block/sda";
  machine.write(pci + "/dev", "8:0\n");
  machine.write(pci + "/removable", "0\n");
  machine.write(pci + "/sda2/dev", "8:2\n");
  machine.write(pci + "/sda2/partition", "1\n");
  QDir().mkpath(machine.path("sys/dev/block"));
  QFile::link(machine.path(pci + "/sda2"), machine.path("sys/dev/block/8:2"));
  machine.write("proc/self/mountinfo", "26 1 8:1 / / rw - ext4 /dev/sda1 rw\n30 26 8:2 / " +
                                           volumes.tree.path("b").toUtf8() +
                                           " rw - ext4 /dev/sda2 rw\n");
  QFile::link("/proc/swaps", machine.path("proc/swaps"));
  const QByteArray fstab =
      "UUID=1 / ext4 defaults 0 1\n" + oldFile.toUtf8() + " none swap sw 0 0\n";
  machine.write("fstab", fstab);
  SwapPaths paths;
  paths.storageRoot = machine.root();
  paths.fstab = machine.path("fstab");

  SwapFileMove move(paths);
  ASSERT_TRUE(move.run(volumes.tree.path("b"))) << move.error().toStdString();
  const QString newFile = volumes.tree.path("b/swapfile");
  QFile swaps("/proc/swaps");
  ASSERT_TRUE(swaps.open(QIODevice::ReadOnly));
  const QByteArray active = swaps.readAll();
  EXPECT_TRUE(active.contains(newFile.toUtf8() + " ")) << active.toStdString();
  EXPECT_FALSE(active.contains(oldFile.toUtf8())) << active.toStdString();
  EXPECT_FALSE(QFileInfo::exists(oldFile));
  EXPECT_EQ(QFileInfo(newFile).size(), 8 << 20);
  EXPECT_EQ(machine.read("fstab"),
            "UUID=1 / ext4 defaults 0 1\n" + newFile.toUtf8() + " none swap sw 0 0\n");
}
