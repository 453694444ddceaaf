#include "engine/src/FileSystemModule.h"

#include "engine/src/Engine.h"
#include "engine/src/NativeObject.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QJsonValue nullWire = QJsonValue::Null;

QString pathOf(const QJsonValue &v) {
  QString path = v.toString();
  if (path.startsWith("file://"))
    path = QUrl(path).toLocalFile();
  if (QDir::separator() == '/')
    path.replace('\\', '/');
  return path;
}

QJsonValue wireFloat(double x) {
  return QJsonObject{{"f", x}};
}

QJsonValue wireMap(const QList<QPair<QString, QJsonValue>> &members) {
  QJsonArray m;
  for (const auto &member : members)
    m.append(QJsonArray{member.first, member.second});
  return QJsonObject{{"m", m}};
}

double seconds(const struct timespec &t) {
  return t.tv_sec + t.tv_nsec / 1e9;
}

QString errnoText() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

// The bytes of input into output: in the kernel (a shared extent where the
// file system offers one), or by reads and writes where that is refused.
bool copyBytes(int input, int output) {
  for (;;) {
    const ssize_t moved = ::copy_file_range(input, nullptr, output, nullptr, size_t(1) << 30, 0);
    if (moved == 0)
      return true;
    if (moved > 0 || errno == EINTR)
      continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      return false;
    break;
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(input, buffer, sizeof buffer);
    if (got == 0)
      return true;
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(output, buffer + done, size_t(got - done));
      if (put < 0 && errno != EINTR)
        return false;
      done += put > 0 ? put : 0;
    }
  }
}
} // namespace

QJsonValue FileSystemModule::call(const QString &op, const QJsonArray &args) {
  if (!Engine::instance().allows(ALLOW_FILE_IO))
    return NativeObject::error("file access is not allowed");
  if (op == "readdir")
    return readdir(pathOf(args.at(0)));
  if (op == "stat")
    return stat(pathOf(args.at(0)));
  if (op == "mkdir")
    return mkdir(pathOf(args.at(0)));
  if (op == "copyfile")
    return copyfile(pathOf(args.at(0)), pathOf(args.at(1)));
  return NativeObject::error(QStringLiteral("unknown file operation %1").arg(op));
}

QJsonValue FileSystemModule::readdir(const QString &path) {
  QDir dir(path);
  if (path.isEmpty() || !dir.exists() || !QFileInfo(path).isReadable())
    return nullWire;
  QJsonArray entries;
  const auto infos = dir.entryInfoList(
      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo &info : infos) {
    // Links are links, whatever they point at: a walk that deletes must
    // never be led out of its tree by one.
    const int type = info.isSymLink() ? 3 : info.isDir() ? 2 : info.isFile() ? 1 : 0;
    entries.append(wireMap({{"name", info.fileName()}, {"type", type}}));
  }
  return QJsonObject{{"a", entries}};
}

QJsonValue FileSystemModule::stat(const QString &path) {
  struct stat st {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
    return nullWire;
  const bool directory = S_ISDIR(st.st_mode);
  struct stat lst {};
  const bool link = ::lstat(QFile::encodeName(path).constData(), &lst) == 0 && S_ISLNK(lst.st_mode);
  return wireMap({{"st_size", wireFloat(static_cast<double>(st.st_size))},
                  {"st_mode", static_cast<double>(st.st_mode)},
                  {"st_mtime", wireFloat(seconds(st.st_mtim))},
                  {"st_atime", wireFloat(seconds(st.st_atim))},
                  {"st_ctime", wireFloat(seconds(st.st_ctim))},
                  {"st_nlink", static_cast<double>(st.st_nlink)},
                  {"isDirectory", directory},
                  {"isFile", S_ISREG(st.st_mode)},
                  {"isSymbolicLink", link}});
}

QJsonValue FileSystemModule::mkdir(const QString &path) {
  // Missing parents are made too; an existing folder is no error.
  QFileInfo info(path);
  if (info.isDir())
    return true;
  if (path.isEmpty())
    return NativeObject::error("mkdir: no path given");
  if (info.exists())
    return NativeObject::error(QStringLiteral("mkdir: %1 exists and is not a folder").arg(path));
  if (!QDir().mkpath(path))
    return NativeObject::error(
        QStringLiteral("mkdir: cannot create %1: %2").arg(path, errnoText()));
  return true;
}

QJsonValue FileSystemModule::copyfile(const QString &source, const QString &destination) {
  const QFileInfo from(source);
  if (!from.exists())
    return NativeObject::error(QStringLiteral("copyfile: no such file: %1").arg(source));
  if (from.isDir())
    return NativeObject::error(QStringLiteral("copyfile: %1 is a folder").arg(source));
  if (destination.isEmpty())
    return NativeObject::error("copyfile: no destination given");
  const QFileInfo to(destination);
  if (to.isDir())
    return NativeObject::error(QStringLiteral("copyfile: %1 is a folder").arg(destination));
  if (!to.dir().exists())
    return NativeObject::error(
        QStringLiteral("copyfile: the folder of %1 does not exist").arg(destination));
  // Copy beside the destination, then replace it in one step: a failed copy
  // leaves the old file as it was. The copy keeps the permissions.
  const int input = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (input < 0 || ::fstat(input, &status) != 0) {
    const QString reason = errnoText();
    if (input >= 0)
      ::close(input);
    return NativeObject::error(QStringLiteral("copyfile: cannot copy %1: %2").arg(source, reason));
  }
  QByteArray temporary = QFile::encodeName(to.absolutePath() + "/." + to.fileName() + ".XXXXXX");
  const int output = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (output < 0) {
    const QString reason = errnoText();
    ::close(input);
    return NativeObject::error(
        QStringLiteral("copyfile: cannot write in %1: %2").arg(to.absolutePath(), reason));
  }
  bool copied = copyBytes(input, output) && ::fchmod(output, status.st_mode & 07777) == 0;
  QString reason = copied ? QString() : errnoText();
  if (::close(output) != 0 && copied) {
    copied = false;
    reason = errnoText();
  }
  ::close(input);
  if (!copied) {
    ::unlink(temporary.constData());
    return NativeObject::error(QStringLiteral("copyfile: cannot copy %1: %2").arg(source, reason));
  }
  if (::rename(temporary.constData(), QFile::encodeName(destination).constData()) != 0) {
    const QString failure = errnoText();
    ::unlink(temporary.constData());
    return NativeObject::error(
        QStringLiteral("copyfile: cannot replace %1: %2").arg(destination, failure));
  }
  return true;
}
