#include "base/files/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/catalogue/Constants.h"

namespace PrivateFiles {
namespace {

// Sets the mode on what the descriptor holds, if it is of the expected type
// and owned by this user.
bool restrict(int fd, mode_t type, mode_t mode) {
  struct stat st {};
  bool ok = fd >= 0 && fstat(fd, &st) == 0 && (st.st_mode & S_IFMT) == type &&
            st.st_uid == geteuid() && ((st.st_mode & 07777) == mode || fchmod(fd, mode) == 0);
  if (fd >= 0)
    close(fd);
  return ok;
}

int openFile(const QString &path, int create) {
  return open(QFile::encodeName(path).constData(),
              O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | create, S_IRUSR | S_IWUSR);
}

} // namespace

bool makeFolder(const QString &folder) {
  if (!QDir(folder).mkpath(QStringLiteral(".")))
    return false;
  const int fd =
      open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return restrict(fd, S_IFDIR, S_IRWXU);
}

bool makeFile(const QString &path) {
  return restrict(openFile(path, O_CREAT), S_IFREG, S_IRUSR | S_IWUSR);
}

bool tighten(const QString &path) {
  const int fd = openFile(path, 0);
  if (fd < 0 && errno == ENOENT)
    return true;
  return restrict(fd, S_IFREG, S_IRUSR | S_IWUSR);
}

QString runtimeFolder() {
  QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (base.isEmpty() || !QFileInfo(base).isDir())
    base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  return base + QLatin1Char('/') + Constants::applicationName();
}

} // namespace PrivateFiles
