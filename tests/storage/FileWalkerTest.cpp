#include "StorageTestSupport.h"
#include "tests/support/MountAndMemory.h"

#include "platform/storage/FileName.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QMap>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Seen {
  EntryType type;
  int depth;
  qint64 size;
  bool otherFileSystem;
};

// Every entry below the root by relative path, and the order of the calls.
struct Recorder {
  QMap<QByteArray, Seen> entries;
  QList<QByteArray> calls;
  WalkPaths paths;

  bool walk(int root, FileWalker &walker) {
    return walker.walk(
        root,
        [this](const WalkEntry &entry) {
          const QByteArray path = paths(entry);
          entries.insert(path, {entry.type, entry.depth, entry.size, entry.otherFileSystem});
          calls.append("enter " + path);
          return FileWalker::Action::Continue;
        },
        [this](const WalkEntry &entry) {
          calls.append("leave " + paths(entry));
          return FileWalker::Action::Continue;
        });
  }
};

TEST(FileWalkerTest, ReportsEveryKindWithoutFollowingLinks) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("a/file.txt", "12345"));
  ASSERT_TRUE(tree.write("a/.hidden", "x"));
  ASSERT_TRUE(tree.symlink("/usr", "a/to-usr"));
  ASSERT_TRUE(tree.symlink("missing", "dangling"));
  ASSERT_TRUE(tree.fifo("pipe"));
  Recorder seen;
  FileWalker walker;
  EXPECT_TRUE(seen.walk(tree.fd(), walker));
  EXPECT_EQ(seen.entries.keys(),
            (QList<QByteArray>{"a", "a/.hidden", "a/file.txt", "a/to-usr", "dangling", "pipe"}));
  EXPECT_EQ(seen.entries["a"].type, EntryType::Directory);
  EXPECT_EQ(seen.entries["a/file.txt"].type, EntryType::File);
  EXPECT_EQ(seen.entries["a/file.txt"].size, 5);
  EXPECT_EQ(seen.entries["a/file.txt"].depth, 2);
  EXPECT_EQ(seen.entries["a/to-usr"].type, EntryType::Link);
  EXPECT_EQ(seen.entries["dangling"].type, EntryType::Link);
  EXPECT_EQ(seen.entries["pipe"].type, EntryType::Other);
  // A folder is entered before its content and left after it.
  EXPECT_LT(seen.calls.indexOf("enter a"), seen.calls.indexOf("enter a/file.txt"));
  EXPECT_GT(seen.calls.indexOf("leave a"), seen.calls.indexOf("enter a/file.txt"));
  EXPECT_FALSE(seen.calls.contains("leave a/to-usr"));
}

TEST(FileWalkerTest, WalksAndRemovesATreeDeeperThanPathMax) {
  ByteTree tree;
  const int depth = 5000;
  const QByteArray chain = tree.deepChain("top", depth, "bottom");
  ASSERT_FALSE(chain.isEmpty());
  ASSERT_GT(chain.size(), PATH_MAX);
  int folders = 0, deepest = 0;
  QByteArray deepFile;
  WalkPaths paths;
  FileWalker walker;
  EXPECT_TRUE(walker.walk(tree.fd(), [&](const WalkEntry &entry) {
    const QByteArray path = paths(entry);
    if (entry.type == EntryType::Directory)
      ++folders;
    if (entry.type == EntryType::File) {
      deepFile = path;
      // The walker's descriptor reads it, however long its path.
      ReadOnlyFile file(entry.parentFd, entry.name);
      char buffer[16];
      EXPECT_EQ(file.read(buffer, sizeof buffer), 6);
    }
    deepest = std::max(deepest, entry.depth);
    return FileWalker::Action::Continue;
  }));
  EXPECT_EQ(folders, depth + 1);
  EXPECT_EQ(deepest, depth + 2);
  EXPECT_EQ(deepFile, chain + "/f");

  // The same file by its absolute path, longer than PATH_MAX.
  ReadOnlyFile byPath(FileName::fromBytes(tree.path() + '/' + chain + "/f"));
  ASSERT_TRUE(byPath.isOpen()) << byPath.error();
  EXPECT_EQ(byPath.size(), 6);

  EXPECT_TRUE(FileWalker::removeTree(tree.fd(), "top"));
  EXPECT_FALSE(tree.exists("top"));
}

TEST(FileWalkerTest, RemovingALinkToAFolderKeepsTheFolder) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("target/keep.txt", "keep"));
  ASSERT_TRUE(tree.symlink("target", "work/link"));
  ASSERT_TRUE(tree.symlink("../target/keep.txt", "work/file-link"));
  EXPECT_TRUE(FileWalker::removeTree(tree.fd(), "work"));
  EXPECT_FALSE(tree.exists("work"));
  EXPECT_TRUE(tree.exists("target/keep.txt"));

  ASSERT_TRUE(tree.symlink("target", "link"));
  EXPECT_TRUE(FileWalker::removeTree(tree.fd(), "link"));
  EXPECT_FALSE(tree.exists("link"));
  EXPECT_TRUE(tree.exists("target/keep.txt"));
}

TEST(FileWalkerTest, HardLinksShareOneIdentity) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("one", "same inode"));
  ASSERT_TRUE(tree.mkdir("sub"));
  ASSERT_TRUE(tree.hardlink("one", "sub/two"));
  ASSERT_TRUE(tree.write("three", "same inode"));
  QMap<QByteArray, FileId> ids;
  WalkPaths paths;
  FileWalker walker;
  walker.walk(tree.fd(), [&](const WalkEntry &entry) {
    ids.insert(paths(entry), entry.id);
    return FileWalker::Action::Continue;
  });
  EXPECT_EQ(ids["one"], ids["sub/two"]);
  EXPECT_FALSE(ids["one"] == ids["three"]);
}

TEST(FileWalkerTest, NeverEntersPseudoFileSystems) {
  {
    const UniqueFd proc = FileWalker::openDirectory("/proc/self", true);
    ASSERT_TRUE(proc.isValid());
    int visited = 0;
    FileWalker walker;
    EXPECT_FALSE(walker.walk(proc.get(), [&](const WalkEntry &) {
      ++visited;
      return FileWalker::Action::Continue;
    }));
    EXPECT_EQ(visited, 0);
  }
  ByteTree tree;
  ASSERT_TRUE(tree.symlink("/proc", "proc-link"));
  ASSERT_TRUE(tree.mkdir("mounted"));
  const QByteArray mountPoint = tree.path() + "/mounted";
  const bool mounted = ::mount("/proc", mountPoint.constData(), nullptr, MS_BIND, nullptr) == 0;
  Recorder seen;
  FileWalker walker;
  seen.walk(tree.fd(), walker);
  if (mounted)
    ::umount2(mountPoint.constData(), MNT_DETACH);
  EXPECT_EQ(seen.entries["proc-link"].type, EntryType::Link);
  EXPECT_EQ(seen.entries.size(), 2);
  if (!mounted)
    GTEST_SKIP() << "bind mounts are not allowed here; the link into /proc was checked";
  EXPECT_TRUE(seen.entries["mounted"].otherFileSystem);
}

// A folder and a file of the same disk mounted inside the tree, as a user
// can do in a cache or the temporary folder: the device number is the same.
TEST(FileWalkerTest, ABindMountFromTheSameDiskIsABoundary) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("outside/keep.txt", "keep"));
  ASSERT_TRUE(tree.write("work/file.txt", "mine"));
  ASSERT_TRUE(tree.mkdir("work/inner"));
  ASSERT_TRUE(tree.write("work/over.txt", ""));
  const BindMount folder(tree.path() + "/outside", tree.path() + "/work/inner");
  TW_MOUNTED_OR_RERUN(folder);
  const BindMount file(tree.path() + "/outside/keep.txt", tree.path() + "/work/over.txt");
  Recorder seen;
  FileWalker walker;
  EXPECT_TRUE(seen.walk(tree.fd(), walker));
  EXPECT_TRUE(seen.entries["work/inner"].otherFileSystem);
  EXPECT_TRUE(seen.entries["work/over.txt"].otherFileSystem);
  EXPECT_FALSE(seen.entries["work/file.txt"].otherFileSystem);
  EXPECT_FALSE(seen.entries.contains("work/inner/keep.txt"));

  // Removing the tree fails at the mounts and deletes nothing through them.
  EXPECT_FALSE(FileWalker::removeTree(tree.fd(), "work"));
  EXPECT_FALSE(
      FileWalker::removeTree(UniqueFd(::openat(tree.fd(), "work", O_RDONLY)).get(), "inner"));
  EXPECT_TRUE(tree.exists("outside/keep.txt"));
  EXPECT_FALSE(tree.exists("work/file.txt"));
  EXPECT_FALSE(FileWalker::openBeneath(tree.fd(), "work/inner").isValid());
  EXPECT_EQ(errno, EXDEV);
}

TEST(FileWalkerTest, OpeningBeneathAFolderFollowsNoLink) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("a/b/c/file", "x"));
  ASSERT_TRUE(tree.symlink("a", "link"));
  ASSERT_TRUE(tree.symlink("c", "a/b/to-c"));
  EXPECT_TRUE(FileWalker::openBeneath(tree.fd(), "a/b/c").isValid());
  EXPECT_TRUE(FileWalker::openBeneath(tree.fd(), "").isValid());
  for (const QByteArray &refused :
       {QByteArray("link/b"), QByteArray("a/b/to-c"), QByteArray("a/../a"), QByteArray("/tmp"),
        QByteArray("a/b/c/file"), QByteArray("a\0/b", 4)})
    EXPECT_FALSE(FileWalker::openBeneath(tree.fd(), refused).isValid()) << refused.constData();
  QByteArray name;
  EXPECT_FALSE(FileWalker::openParent(tree.path() + QByteArray("/a\0/b/../x", 10), name).isValid());
  EXPECT_EQ(errno, EINVAL);
}

TEST(FileWalkerTest, ReaderRefusesWhatIsNotARegularFileAtOnce) {
  ByteTree tree;
  ASSERT_TRUE(tree.fifo("pipe"));
  ASSERT_TRUE(tree.write("file", "abc"));
  ASSERT_TRUE(tree.symlink("file", "link"));
  EXPECT_FALSE(ReadOnlyFile(tree.fd(), "pipe").isOpen()); // no writer, and no hang
  EXPECT_FALSE(ReadOnlyFile(tree.fd(), "link").isOpen());
  EXPECT_FALSE(ReadOnlyFile(FileName::fromBytes(tree.path() + "/link")).isOpen());
  EXPECT_FALSE(ReadOnlyFile(QStringLiteral("/dev/zero")).isOpen());
  EXPECT_FALSE(ReadOnlyFile(FileName::fromBytes(tree.path())).isOpen());
  EXPECT_TRUE(ReadOnlyFile(tree.fd(), "file").isOpen());
}

TEST(FileWalkerTest, ReaderStopsAtTheSizeItListed) {
  ByteTree tree;
  ASSERT_TRUE(tree.write("growing", "12345"));
  ReadOnlyFile file(tree.fd(), "growing");
  ASSERT_TRUE(file.isOpen());
  ASSERT_TRUE(tree.write("growing", "1234567890")); // grows after it was opened
  char buffer[64];
  EXPECT_EQ(file.read(buffer, sizeof buffer), 5);
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0);
  // Pseudo files list sizes that say nothing of their content.
  EXPECT_FALSE(ReadOnlyFile(QStringLiteral("/proc/self/pagemap")).isOpen());
  EXPECT_FALSE(
      ReadOnlyFile(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled")).isOpen());
}

TEST(FileWalkerTest, NamesAreBytes) {
  ByteTree tree;
  const QByteArray name = "caf\xE9 \xD6\xD0.txt"; // Windows-1252 and GBK bytes
  ASSERT_TRUE(tree.write("sub\xFF/" + name, "data"));
  QByteArray found;
  WalkPaths paths;
  FileWalker walker;
  walker.walk(tree.fd(), [&](const WalkEntry &entry) {
    const QByteArray path = paths(entry);
    if (entry.type == EntryType::File)
      found = path;
    return FileWalker::Action::Continue;
  });
  EXPECT_EQ(found, "sub\xFF/" + name);
  // The text form of its path opens it again.
  const QString text = FileName::fromBytes(tree.path() + '/' + found);
  EXPECT_TRUE(ReadOnlyFile(text).isOpen());
  QByteArray leaf;
  const UniqueFd parent = FileWalker::openParent(FileName::toBytes(text), leaf);
  EXPECT_EQ(leaf, name);
  EXPECT_TRUE(FileWalker::removeTree(parent.get(), leaf));
  EXPECT_FALSE(tree.exists("sub\xFF/" + name));
}

TEST(FileWalkerTest, StopsWhenAsked) {
  ByteTree tree;
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(tree.write("f" + QByteArray::number(i), "x"));
  std::atomic<bool> stop{false};
  int visited = 0;
  FileWalker walker;
  walker.setStopFlag(&stop);
  walker.walk(tree.fd(), [&](const WalkEntry &) {
    if (++visited == 3)
      stop = true;
    return FileWalker::Action::Continue;
  });
  EXPECT_EQ(visited, 3);
  EXPECT_TRUE(walker.stopped());
}

TEST(FileWalkerTest, ParentOfDotOrDotDotIsRefused) {
  QByteArray name;
  EXPECT_FALSE(FileWalker::openParent("/tmp/..", name).isValid());
  EXPECT_FALSE(FileWalker::openParent("/tmp/.", name).isValid());
  EXPECT_TRUE(FileWalker::openParent("/tmp/./x/", name).isValid());
  EXPECT_EQ(name, "x");
}

} // namespace
