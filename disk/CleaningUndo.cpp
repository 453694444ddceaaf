#include "disk/CleaningUndo.h"

#include "base/log/Log.h"
#include "disk/CleaningRecords.h"
#include "disk/JsonText.h"
#include "disk/ListedFile.h"
#include "disk/ScanRegistry.h"
#include "platform/storage/FileName.h"
#include "platform/storage/ReadOnlyFile.h"
#include "platform/storage/Trash.h"

#include <QJsonArray>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

ScanRegistry &registry() {
  static ScanRegistry *undos =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *undos;
}

// The folder holding path open, its missing folders made 0700, each only
// inside a folder of the user's own.
UniqueFd openMakingParent(const QByteArray &path, QByteArray &name) {
  UniqueFd parent = FileWalker::openParent(path, name);
  if (parent.isValid() || errno != ENOENT)
    return parent;
  QByteArray folderName;
  const UniqueFd above = openMakingParent(path.left(path.lastIndexOf('/')), folderName);
  struct stat status;
  if (!above.isValid() || ::fstat(above.get(), &status) != 0)
    return UniqueFd();
  if (status.st_uid != ::geteuid()) {
    errno = EACCES;
    return UniqueFd();
  }
  if (::mkdirat(above.get(), folderName.constData(), 0700) != 0 && errno != EEXIST)
    return UniqueFd();
  return FileWalker::openParent(path, name);
}

struct timespec timeOf(const QString &text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  struct timespec time = {};
  time.tv_sec = parts.value(0).toLongLong();
  time.tv_nsec = parts.value(1).toLong();
  return time;
}

bool copyAll(ReadOnlyFile &source, int target) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const qint64 count = source.read(buffer.data(), qint64(buffer.size()));
    if (count <= 0)
      return count == 0 && ::fsync(target) == 0;
    for (qint64 done = 0; done < count;) {
      const ssize_t written = ::write(target, buffer.data() + done, size_t(count - done));
      if (written <= 0 && errno != EINTR)
        return false;
      done += std::max<ssize_t>(written, 0);
    }
  }
}

QString restoreTrashed(const QJsonObject &item, const QByteArray &path) {
  QByteArray name;
  const UniqueFd parent = openMakingParent(path, name);
  if (!parent.isValid())
    return QStringLiteral("failed");
  const Trash::Trashed where{CleaningRecords::decodedPath(item.value("trash").toString()),
                             CleaningRecords::decodedPath(item.value("name").toString())};
  switch (Trash::restore(where, CleaningRecords::fileOf(item.value("file").toString()),
                         parent.get(), name, path)) {
  case Trash::Restore::Restored:
    return QStringLiteral("restored");
  case Trash::Restore::NotInTrash:
    return QStringLiteral("notInTrash");
  case Trash::Restore::Occupied:
    return QStringLiteral("occupied");
  case Trash::Restore::Failed:
    break;
  }
  return QStringLiteral("failed");
}

// While the path, in the folder it was in, holds the link made, a copy of its
// content takes its place.
QString restoreCopy(const QJsonObject &item, const QByteArray &path) {
  QByteArray name;
  const UniqueFd parent = FileWalker::openParent(path, name);
  const FileId linked = CleaningRecords::fileOf(item.value("file").toString());
  const qint64 size = qint64(item.value("size").toDouble());
  ReadOnlyFile source(parent.get(), name.constData(), linked, size);
  struct stat folder;
  if (!parent.isValid() || ::fstat(parent.get(), &folder) != 0 ||
      !(FileId::of(folder) == CleaningRecords::fileOf(item.value("folder").toString())) ||
      !source.isOpen())
    return QStringLiteral("changed");
  QByteArray temporary;
  UniqueFd target;
  for (int n = 1; n < 100 && !target.isValid(); ++n) {
    temporary = ListedFile::besideName(name, n);
    target.reset(::openat(parent.get(), temporary.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!target.isValid() && errno != EEXIST)
      break;
  }
  if (!target.isValid())
    return QStringLiteral("failed");
  const struct timespec times[2] = {timeOf(item.value("accessed").toString()),
                                    timeOf(item.value("modified").toString())};
  if (!copyAll(source, target.get()) ||
      ::fchown(target.get(), uid_t(item.value("owner").toDouble()),
               gid_t(item.value("group").toDouble())) != 0 ||
      ::fchmod(target.get(), mode_t(item.value("mode").toInt()) & 07777) != 0 ||
      ::futimens(target.get(), times) != 0) {
    ::unlinkat(parent.get(), temporary.constData(), 0);
    return QStringLiteral("failed");
  }
  struct stat left;
  const ListedFile::Result swapped = ListedFile::swapIn(
      parent.get(), temporary, name,
      [&](const struct stat &status) {
        return FileId::of(status) == linked && status.st_size == size;
      },
      left);
  return swapped == ListedFile::Result::Listed ? QStringLiteral("restored")
                                               : ListedFile::text(swapped);
}

class UndoContext : public ScanContext {
public:
  UndoContext(const QString &id, ScriptCallback callback)
      : ScanContext(QStringList(), std::move(callback)), id(id) {}

  QString run() {
    QJsonObject record;
    if (!CleaningRecords::read(id, record))
      throw std::runtime_error("no such record");
    QJsonArray items = record.value(QStringLiteral("items")).toArray();
    QJsonArray answers;
    for (int n = 0; n < items.size() && !stopRequested; ++n) {
      QJsonObject item = items[n].toObject();
      if (item.value(QStringLiteral("undone")).toBool())
        continue;
      const QString stored = item.value(QStringLiteral("path")).toString();
      const QByteArray path = CleaningRecords::decodedPath(stored);
      const QString kind = item.value(QStringLiteral("result")).toString();
      const QString result = kind == QLatin1String("trashed")  ? restoreTrashed(item, path)
                             : kind == QLatin1String("linked") ? restoreCopy(item, path)
                                                               : kind;
      Log::info("NativeUtil", "undo {} of {} result: {}", kind.toStdString(), stored.toStdString(),
                result.toStdString());
      if (result == QLatin1String("restored")) {
        item.insert(QStringLiteral("undone"), true);
        items[n] = item;
      }
      answers.append(QJsonObject{{QStringLiteral("path"), FileName::fromBytes(path)},
                                 {QStringLiteral("result"), result}});
    }
    record.insert(QStringLiteral("items"), items);
    if (!CleaningRecords::replace(id, record))
      Log::info("NativeUtil", "could not update the record {}", id.toStdString());
    return JsonText::list(answers);
  }

private:
  const QString id;
};

} // namespace

int CleaningUndo::undoCleaning(const QString &record, ScriptCallback callback) {
  auto context = std::make_shared<UndoContext>(record, std::move(callback));
  return registry().start(
      context, [context] { return context->run(); }, QStringLiteral("undo cleaning failed"));
}

void CleaningUndo::stopAll() {
  registry().stopAllAndWait();
}
