// tidewell-swap-helper move MOUNT-POINT
// Moves the swap files onto MOUNT-POINT. Started as root through pkexec, so
// it trusts nothing it is given: it takes no paths but the mount point,
// checks that against the mount table itself, and works out the file name,
// the size and the files to move on its own.
// Exit status 0 on success, 1 when the move failed (undone), 2 when refused.
#include <QCoreApplication>
#include <QTextStream>

#include <unistd.h>

#include "platform/storage/LinuxStorageInfo.h"
#include "platform/swap/SwapTarget.h"
#include "platform/swap/linux/SwapFileMove.h"

namespace {

int refuse(const QString &message) {
  QTextStream(stderr) << message << '\n';
  return 2;
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments().mid(1);
  if (arguments.size() != 2 || arguments[0] != QLatin1String("move"))
    return refuse(QStringLiteral("usage: tidewell-swap-helper move MOUNT-POINT"));
  if (::geteuid() != 0)
    return refuse(QStringLiteral("must run as root"));
  // Always the real system: nothing here is taken from the caller.
  const SwapPaths paths;
  LinuxStorageInfo storage(paths.storageRoot);
  if (!SwapTarget::accepts(storage, arguments[1]))
    return refuse(QStringLiteral("not a local fixed file system other than /: ") + arguments[1]);
  SwapFileMove move(paths);
  if (!move.run(arguments[1])) {
    QTextStream(stderr) << move.error() << '\n';
    return 1;
  }
  return 0;
}
