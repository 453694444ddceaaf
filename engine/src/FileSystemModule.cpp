#include "engine/src/FileSystemModule.h"

#include "engine/src/Engine.h"
#include "engine/src/NativeObject.h"
#include "platform/storage/FileCopy.h"
#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"
#include "platform/storage/FolderMaker.h"
#include "platform/storage/ReadOnlyFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

struct Listed {
  QByteArray name;
  int type;
  qint64 size;
};

// A page reads texts (records, settings), never whole data files.
constexpr qint64 maxTextBytes = 64 * 1024 * 1024;

// Listings come sorted by the bytes of the names, the same order every time.
bool byName(const Listed &a, const Listed &b) {
  return a.name < b.name;
}
} // namespace

QJsonValue FileSystemModule::call(const QString &op, const QJsonArray &args) {
  if (!Engine::instance().allows(ALLOW_FILE_IO))
    return NativeObject::error("file access is not allowed");
  // Every argument is a path; one holding NUL would end early at the kernel
  // and name another file than it spells.
  const bool holdsNul = std::any_of(args.begin(), args.end(), [](const QJsonValue &arg) {
    return arg.toString().contains(QChar(0));
  });
  if (holdsNul)
    return op == "mkdir" || op == "copyfile"
               ? NativeObject::error(QStringLiteral("%1: a path holds a NUL character").arg(op))
               : nullWire;
  if (op == "readdir")
    return readdir(pathOf(args.at(0)));
  if (op == "stat")
    return stat(pathOf(args.at(0)));
  if (op == "mkdir")
    return mkdir(pathOf(args.at(0)));
  if (op == "copyfile")
    return copyfile(pathOf(args.at(0)), pathOf(args.at(1)));
  if (op == "realpath")
    return realpath(pathOf(args.at(0)));
  if (op == "statfs")
    return statfs(pathOf(args.at(0)));
  if (op == "rmdir")
    return rmdir(pathOf(args.at(0)));
  if (op == "readfile")
    return readfile(pathOf(args.at(0)));
  if (op == "writefile")
    return writefile(pathOf(args.at(0)), args.at(1).toString());
  return NativeObject::error(QStringLiteral("unknown file operation %1").arg(op));
}

QJsonValue FileSystemModule::readdir(const QString &path) {
  // One level, links reported as links whatever they point at: a walk that
  // deletes must never be led out of its tree by one. Names that are not
  // valid UTF-8 come as FileName's text, which the other calls take back.
  if (path.isEmpty())
    return nullWire;
  const UniqueFd folder = FileWalker::openDirectory(FileName::toBytes(path), true);
  if (!folder.isValid())
    return nullWire;
  // A regular file's entry also carries its size, which the walker's
  // fstatat already gave: a page adding up a tree needs no stat per file.
  QVector<Listed> found;
  FileWalker walker;
  walker.walk(folder.get(), [&found](const WalkEntry &entry) {
    const int type = entry.type == EntryType::Link        ? 3
                     : entry.type == EntryType::Directory ? 2
                     : entry.type == EntryType::File      ? 1
                                                          : 0;
    found.append({entry.name, type, entry.size});
    return FileWalker::Action::Skip;
  });
  std::sort(found.begin(), found.end(), byName);
  QJsonArray entries;
  for (const Listed &entry : found) {
    QList<QPair<QString, QJsonValue>> members{{"name", FileName::fromBytes(entry.name)},
                                              {"type", entry.type}};
    if (entry.type == 1)
      members.append({"size", wireFloat(static_cast<double>(entry.size))});
    entries.append(wireMap(members));
  }
  return QJsonObject{{"a", entries}};
}

QJsonValue FileSystemModule::stat(const QString &path) {
  // Follows a link, as stat does; isSymbolicLink tells about the path itself.
  QByteArray name;
  const UniqueFd folder = FileWalker::openParent(FileName::toBytes(path), name);
  const char *entry = name.isEmpty() ? "." : name.constData();
  struct stat st {};
  if (path.isEmpty() || !folder.isValid() || ::fstatat(folder.get(), entry, &st, 0) != 0)
    return nullWire;
  const bool directory = S_ISDIR(st.st_mode);
  struct stat lst {};
  const bool link =
      ::fstatat(folder.get(), entry, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
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
  if (path.isEmpty())
    return NativeObject::error("mkdir: no path given");
  FolderMaker maker;
  const int error = maker.make(FileName::toBytes(path));
  if (!maker.notFolder.isEmpty())
    return NativeObject::error(QStringLiteral("mkdir: %1 exists and is not a folder")
                                   .arg(FileName::fromBytes(maker.notFolder)));
  if (error)
    return NativeObject::error(QStringLiteral("mkdir: cannot create %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(error))));
  return true;
}

QJsonValue FileSystemModule::realpath(const QString &path) {
  // Links and "." and ".." resolved: two spellings of one folder compare equal.
  if (path.isEmpty())
    return nullWire;
  char *resolved = ::realpath(FileName::toBytes(path).constData(), nullptr);
  if (!resolved)
    return nullWire;
  const QString canonical = FileName::fromBytes(QByteArray(resolved));
  std::free(resolved);
  return canonical;
}

QJsonValue FileSystemModule::statfs(const QString &path) {
  // The file system holding path, as libuv's statfs gives it: a page checks
  // the room on a target before it writes anything there.
  struct statvfs facts = {};
  if (path.isEmpty() || ::statvfs(FileName::toBytes(path).constData(), &facts) != 0)
    return nullWire;
  return wireMap({{"bsize", wireFloat(double(facts.f_frsize))},
                  {"blocks", wireFloat(double(facts.f_blocks))},
                  {"bfree", wireFloat(double(facts.f_bfree))},
                  {"bavail", wireFloat(double(facts.f_bavail))},
                  {"files", wireFloat(double(facts.f_files))},
                  {"ffree", wireFloat(double(facts.f_ffree))}});
}

QJsonValue FileSystemModule::copyfile(const QString &source, const QString &destination) {
  // Into a temporary file beside the destination, which then replaces it in
  // one step: a failed copy leaves the old file as it was. A link is copied
  // as the same link; the copy keeps the permissions.
  if (destination.isEmpty())
    return NativeObject::error("copyfile: no destination given");
  FileCopy copy;
  copy.overwrite = true;
  copy.copyLinks = true;
  switch (copy.copy(source, destination)) {
  case FileCopy::Result::Copied:
    return true;
  case FileCopy::Result::SourceMissing:
    return NativeObject::error(QStringLiteral("copyfile: no such file: %1").arg(source));
  case FileCopy::Result::SourceNotCopyable:
    return NativeObject::error(
        QStringLiteral("copyfile: cannot copy %1: %2").arg(source, copy.reason()));
  case FileCopy::Result::DestinationNotReplaceable:
  case FileCopy::Result::DestinationExists:
  case FileCopy::Result::SameFile:
    return NativeObject::error(
        QStringLiteral("copyfile: cannot replace %1: %2").arg(destination, copy.reason()));
  case FileCopy::Result::Failed:
    break;
  }
  return NativeObject::error(
      QStringLiteral("copyfile: cannot copy %1 to %2: %3").arg(source, destination, copy.reason()));
}

QJsonValue FileSystemModule::rmdir(const QString &path) {
  // An empty folder only, never a link: whatever lies in it keeps it.
  QByteArray name;
  const UniqueFd folder = FileWalker::openParent(FileName::toBytes(path), name);
  struct stat st {};
  return !path.isEmpty() && folder.isValid() && !name.isEmpty() &&
         ::fstatat(folder.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(st.st_mode) && ::unlinkat(folder.get(), name.constData(), AT_REMOVEDIR) == 0;
}

QJsonValue FileSystemModule::readfile(const QString &path) {
  // A regular file's text (UTF-8); a link, folder or device gives nothing.
  ReadOnlyFile file(path);
  if (path.isEmpty() || !file.isOpen())
    return nullWire;
  QByteArray content(int(std::min<qint64>(file.size(), maxTextBytes)), Qt::Uninitialized);
  qint64 filled = 0;
  for (qint64 got = 1; filled < content.size() && got > 0; filled += got) {
    got = file.read(content.data() + filled, content.size() - filled);
    if (got < 0)
      return nullWire;
  }
  content.truncate(int(filled));
  return QString::fromUtf8(content);
}

QJsonValue FileSystemModule::writefile(const QString &path, const QString &text) {
  // Private to the user (0600), written whole into a temporary file beside
  // it that then replaces it: a reader sees the old text or the new one. A
  // link in its place is replaced itself, never written through.
  QByteArray name;
  const UniqueFd folder = FileWalker::openParent(FileName::toBytes(path), name);
  if (path.isEmpty() || !folder.isValid() || name.isEmpty())
    return NativeObject::error(QStringLiteral("writefile: cannot open the folder of %1").arg(path));
  const QByteArray content = text.toUtf8();
  QByteArray temporary;
  UniqueFd out;
  for (int attempt = 0; !out.isValid() && attempt < 20; ++attempt) {
    temporary =
        "." + name.left(200) + "." + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    out.reset(::openat(folder.get(), temporary.constData(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.isValid() && errno != EEXIST)
      break;
  }
  bool written = out.isValid();
  for (qint64 done = 0; written && done < content.size();) {
    const ssize_t n = ::write(out.get(), content.constData() + done, size_t(content.size() - done));
    written = n > 0 || (n < 0 && errno == EINTR);
    done += n > 0 ? n : 0;
  }
  const int error = written ? 0 : errno;
  written = written && ::fsync(out.get()) == 0 && ::close(out.release()) == 0 &&
            ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) == 0;
  if (written)
    return true;
  const QString reason = QString::fromLocal8Bit(std::strerror(error ? error : errno));
  if (!temporary.isEmpty())
    ::unlinkat(folder.get(), temporary.constData(), 0);
  return NativeObject::error(QStringLiteral("writefile: cannot write %1: %2").arg(path, reason));
}
