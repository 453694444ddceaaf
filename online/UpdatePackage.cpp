#include "online/UpdatePackage.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/CommandRunner.h"
#include "platform/storage/TrustedFolder.h"

namespace {

// One unpacked update at a time: the next one replaces it.
const QByteArray unpackedName = QByteArrayLiteral("unpacked");
constexpr int unpackTimeLimitMs = 5 * 60 * 1000;

} // namespace

namespace UpdatePackage {

QString installerName() {
  return QStringLiteral("Tidewell-installer.exe");
}

QString unpack(int packageFd, const QString &parent, QString &error) {
  const UniqueFd folder = TrustedFolder::openOrMake(parent, error);
  if (!folder.isValid())
    return QString();
  if (!FileWalker::removeTree(folder.get(), unpackedName) ||
      ::mkdirat(folder.get(), unpackedName.constData(), 0700) != 0) {
    error = QStringLiteral("cannot make a folder for the update: %1").arg(qt_error_string(errno));
    return QString();
  }
  const QString target = parent + QLatin1Char('/') + QFile::decodeName(unpackedName);
  // The package comes in on standard input, read through the verified file.
  const CommandResult result = CommandRunner::run(
      QStringLiteral("tar"),
      {QStringLiteral("--extract"), QStringLiteral("--gzip"), QStringLiteral("--file=-"),
       QStringLiteral("--directory=") + target, QStringLiteral("--no-same-owner"),
       QStringLiteral("--no-same-permissions"), QStringLiteral("--no-overwrite-dir")},
      unpackTimeLimitMs, QStringLiteral("/proc/self/fd/%1").arg(packageFd));
  if (!result.succeeded()) {
    error = QStringLiteral("the update cannot be unpacked: %1")
                .arg(result.started ? result.errorOutput.trimmed()
                                    : QStringLiteral("tar did not start"));
    FileWalker::removeTree(folder.get(), unpackedName); // nothing half unpacked stays
    return QString();
  }
  struct stat installer {};
  if (::fstatat(folder.get(), (unpackedName + '/' + QFile::encodeName(installerName())).constData(),
                &installer, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(installer.st_mode) || !(installer.st_mode & S_IXUSR)) {
    error = QStringLiteral("the update holds no installer");
    FileWalker::removeTree(folder.get(), unpackedName);
    return QString();
  }
  return target;
}

bool startInstaller(const QString &folder, qint64 waitFor) {
  return CommandRunner::startDetached(
      folder + QLatin1Char('/') + installerName(),
      {QStringLiteral("--update"), QStringLiteral("--after=%1").arg(waitFor)}, folder);
}

} // namespace UpdatePackage
