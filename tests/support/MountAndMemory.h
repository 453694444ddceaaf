#pragma once
// Edges the kernel makes for the file-system tests: real bind mounts, and the
// process's own peak memory.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <sys/mount.h>

// A bind mount of source (a folder or a file) over target, undone at the end.
class BindMount {
public:
  BindMount(const QByteArray &source, const QByteArray &target)
      : target_(target),
        made_(::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) == 0) {}
  ~BindMount() {
    if (made_)
      ::umount2(target_.constData(), MNT_DETACH);
  }
  bool made() const { return made_; }

private:
  QByteArray target_;
  bool made_;
};

// Where mounting is not allowed, runs the current test again in user and
// mount namespaces of its own (unshare -rm), where it is: its exit status,
// or -1 when that cannot run either (or this already is that run).
inline int rerunInOwnMountNamespace() {
  if (qEnvironmentVariableIsSet("TW_OWN_MOUNT_NAMESPACE") ||
      QProcess::execute("unshare", {"-rm", "true"}) != 0)
    return -1;
  const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
  QProcess again;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("TW_OWN_MOUNT_NAMESPACE", "1");
  again.setProcessEnvironment(environment);
  again.setProcessChannelMode(QProcess::ForwardedChannels);
  again.start("unshare",
              {"-rm", QFile::symLinkTarget("/proc/self/exe"),
               QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
  again.waitForFinished(-1);
  return again.exitStatus() == QProcess::NormalExit ? again.exitCode() : -1;
}

// In a test whose bind mount was refused: the test's result is that of its
// run in its own namespaces, or a skip where none can be made.
#define TW_MOUNTED_OR_RERUN(mount)                                                                 \
  if (!(mount).made()) {                                                                           \
    const int status = rerunInOwnMountNamespace();                                                 \
    if (status < 0)                                                                                \
      GTEST_SKIP() << "bind mounts are not allowed here, nor in a user namespace";                 \
    EXPECT_EQ(status, 0) << "failed in its own mount namespace";                                   \
    return;                                                                                        \
  }

// The process's peak resident memory in KiB (VmHWM), reset to what it holds
// now by resetPeakMemory: false where the kernel does not allow that, and
// under a sanitizer, whose own shadow and quarantine would be measured.
inline qint64 peakMemoryKiB() {
  QFile status("/proc/self/status");
  if (status.open(QIODevice::ReadOnly))
    for (const QByteArray &line : status.readAll().split('\n'))
      if (line.startsWith("VmHWM:"))
        return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return -1;
}
inline bool resetPeakMemory() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return false;
#endif
  QFile clear("/proc/self/clear_refs");
  return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
