#include "disk/ScannedFileRemover.h"

#include "base/log/Log.h"
#include "disk/FileDigest.h"
#include "disk/JsonText.h"
#include "disk/ScanRegistry.h"
#include "disk/ShownFiles.h"
#include "platform/storage/FileName.h"
#include "platform/storage/ReadOnlyFile.h"
#include "platform/storage/Trash.h"

#include <QJsonDocument>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr auto progressInterval = 500ms;

// Copies compared with the kept file at once: with it, 64 files open.
constexpr int copiesPerComparison = 63;

enum class Result { Listed, Deleted, Trashed, Gone, Changed, KeptChanged, NotListed, Failed };

QString resultText(Result result) {
  switch (result) {
  case Result::Deleted:
    return QStringLiteral("deleted");
  case Result::Trashed:
    return QStringLiteral("trashed");
  case Result::Gone:
    return QStringLiteral("gone");
  case Result::Changed:
    return QStringLiteral("changed");
  case Result::KeptChanged:
    return QStringLiteral("keptChanged");
  case Result::NotListed:
    return QStringLiteral("notListed");
  case Result::Listed:
  case Result::Failed:
    break;
  }
  return QStringLiteral("failed");
}

ScanRegistry &registry() {
  static ScanRegistry *removals =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *removals;
}

FileId idOf(const struct stat &status) {
  return {quint64(status.st_dev), quint64(status.st_ino)};
}

// A listed file found again: its folder, open, and its name there.
struct Found {
  UniqueFd folder;
  QByteArray name;
  struct stat status = {};
};

// Listed when the folder holding path is still the folder walked and the
// entry there is still the file listed, not a link or anything else.
Result find(const QString &path, const ShownFiles::Entry &entry, Found &found) {
  found.folder = FileWalker::openParent(FileName::toBytes(path), found.name);
  if (!found.folder.isValid())
    return errno == ENOENT ? Result::Gone : errno == EACCES ? Result::Failed : Result::Changed;
  struct stat &status = found.status;
  if (found.name.isEmpty() || ::fstat(found.folder.get(), &status) != 0 ||
      !(idOf(status) == entry.folder))
    return Result::Changed;
  if (::fstatat(found.folder.get(), found.name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Result::Gone : Result::Failed;
  if (!S_ISREG(status.st_mode) || !(idOf(status) == entry.id) || status.st_size != entry.size ||
      qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec != entry.modifiedNs)
    return Result::Changed;
  return Result::Listed;
}

// Open only while it is still the file listed.
std::unique_ptr<ReadOnlyFile> open(const QString &path, const ShownFiles::Entry &entry) {
  Found found;
  if (find(path, entry, found) != Result::Listed)
    return nullptr;
  return std::make_unique<ReadOnlyFile>(found.folder.get(), found.name.constData(), entry.id,
                                        entry.size);
}

// freed: what the deletion gave back to the file system, the blocks the
// file held (a sparse file holds fewer than its size says), and nothing
// while another name still links to them or while the file is in the Trash.
Result remove(const QString &path, const ShownFiles::Entry &entry, bool toTrash, ShownFiles &shown,
              qint64 &freed) {
  freed = 0;
  Found found;
  const Result checked = find(path, entry, found);
  if (checked != Result::Listed)
    return checked;
  if (toTrash) {
    const int error = Trash::moveToTrash(found.folder.get(), found.name, FileName::toBytes(path));
    if (error != 0) {
      Log::info("NativeUtil", "move to trash failed: {} ({})", path.toStdString(),
                std::strerror(error));
      return error == ENOENT ? Result::Gone : Result::Failed;
    }
  } else if (::unlinkat(found.folder.get(), found.name.constData(), 0) != 0) {
    return errno == ENOENT ? Result::Gone : Result::Failed;
  }
  shown.remove(path);
  if (toTrash)
    return Result::Trashed;
  if (found.status.st_nlink <= 1)
    freed = qint64(found.status.st_blocks) * 512;
  return Result::Deleted;
}

class RemovalContext : public ScanContext {
public:
  RemovalContext(const QJsonObject &request, ScriptCallback callback)
      : ScanContext(QStringList(), std::move(callback)), request(request),
        toTrash(request.value(QStringLiteral("trash")).toBool()) {}

  QString run() {
    const QJsonArray files = request.value(QStringLiteral("files")).toArray();
    for (const QJsonValue &file : files) {
      if (stopRequested)
        break;
      const QString path = file.toObject().value(QStringLiteral("path")).toString();
      const qint64 size = qint64(file.toObject().value(QStringLiteral("size")).toDouble(-1));
      ShownFiles::Entry entry;
      if (!ShownFiles::largeFiles().find(path, entry))
        answer(path, Result::NotListed);
      else if (entry.size != size) // a later scan listed it otherwise
        answer(path, Result::Changed);
      else
        answerRemoval(path, entry, ShownFiles::largeFiles());
    }
    const QJsonArray groups = request.value(QStringLiteral("groups")).toArray();
    for (const QJsonValue &group : groups) {
      if (stopRequested)
        break;
      removeCopies(group.toObject());
    }
    return JsonText::list(answers);
  }

private:
  struct Member {
    QString path;
    ShownFiles::Entry entry;
  };

  void answer(const QString &path, Result result, qint64 freed = 0) {
    const QString text = resultText(result);
    Log::info("NativeUtil", "delete listed file {} result: {}", path.toStdString(),
              text.toStdString());
    answers.append(QJsonObject{{QStringLiteral("freed"), double(freed)},
                               {QStringLiteral("path"), path},
                               {QStringLiteral("result"), text}});
    // At once after the first, so the page shows a deletion under way.
    if (answers.size() == 1 || progressDue(progressInterval))
      send("progress", JsonText::list(answers));
  }

  void answerRemoval(const QString &path, const ShownFiles::Entry &entry, ShownFiles &shown) {
    qint64 freed = 0;
    const Result result = remove(path, entry, toTrash, shown, freed);
    answer(path, result, freed);
  }

  void removeCopies(const QJsonObject &group) {
    const QByteArray hash = group.value(QStringLiteral("hash")).toString().toLatin1();
    Member kept{group.value(QStringLiteral("keep")).toString(), {}};
    std::vector<Member> copies;
    for (const QJsonValue &copy : group.value(QStringLiteral("delete")).toArray())
      copies.push_back({copy.toString(), {}});
    Result result = check(hash, kept, copies);
    if (stopRequested) // the group was not reached
      return;
    if (result == Result::Listed && !kept.path.isEmpty()) {
      Found found; // still as compared
      if (find(kept.path, kept.entry, found) != Result::Listed)
        result = Result::KeptChanged;
    }
    for (const Member &copy : copies) {
      if (result == Result::Listed)
        answerRemoval(copy.path, copy.entry, ShownFiles::duplicates());
      else
        answer(copy.path, result);
    }
  }

  // Listed when every copy, and the kept file, may go as the group says.
  Result check(const QByteArray &hash, Member &kept, std::vector<Member> &copies) {
    ShownFiles &shown = ShownFiles::duplicates();
    QSet<QString> paths;
    const auto listed = [&](Member &member) {
      const bool fresh = !paths.contains(member.path);
      paths.insert(member.path);
      return fresh && shown.find(member.path, member.entry) && member.entry.digest == hash;
    };
    if (hash.isEmpty() || (!kept.path.isEmpty() && !listed(kept)))
      return Result::NotListed;
    for (Member &copy : copies) {
      if (!listed(copy))
        return Result::NotListed;
    }
    Found found;
    if (!kept.path.isEmpty() && find(kept.path, kept.entry, found) != Result::Listed)
      return Result::KeptChanged;
    for (const Member &copy : copies) {
      const Result result = find(copy.path, copy.entry, found);
      if (result != Result::Listed)
        return result;
    }
    if (kept.path.isEmpty()) // every copy goes: nothing to compare with
      return Result::Listed;
    for (size_t begin = 0; begin < copies.size(); begin += copiesPerComparison) {
      if (stopRequested)
        return Result::Failed;
      const size_t end = std::min(copies.size(), begin + copiesPerComparison);
      std::vector<std::unique_ptr<ReadOnlyFile>> files;
      files.push_back(open(kept.path, kept.entry));
      for (size_t k = begin; k < end; ++k)
        files.push_back(open(copies[k].path, copies[k].entry));
      // A digest for each file that equals another, so the kept file's
      // is the scan's only while a copy still equals it.
      const QVector<QByteArray> digests = digest.ofCopies(files);
      if (digests[0] != hash)
        return Result::KeptChanged;
      for (int m = 1; m < digests.size(); ++m) {
        if (digests[m] != hash)
          return Result::Changed;
      }
    }
    return Result::Listed;
  }

  const QJsonObject request;
  const bool toTrash;
  QJsonArray answers;
  FileDigest digest;
};

} // namespace

int ScannedFileRemover::deleteScannedFiles(const QString &request, ScriptCallback callback) {
  auto context = std::make_shared<RemovalContext>(
      QJsonDocument::fromJson(request.toUtf8()).object(), std::move(callback));
  return registry().start(
      context, [context] { return context->run(); }, QStringLiteral("delete files failed"));
}

bool ScannedFileRemover::stopDeleteScannedFiles(int id) {
  return registry().stop(id);
}

void ScannedFileRemover::stopAll() {
  registry().stopAllAndWait();
}
