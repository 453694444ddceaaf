#include "disk/ScannedFileRemover.h"

#include "base/log/Log.h"
#include "disk/CleaningRecords.h"
#include "disk/CopyLinker.h"
#include "disk/FileDigest.h"
#include "disk/JsonText.h"
#include "disk/ListedFile.h"
#include "disk/ScanRegistry.h"
#include "platform/storage/FileName.h"
#include "platform/storage/Trash.h"

#include <QDateTime>
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

using ListedFile::Found;
using ListedFile::Result;

ScanRegistry &registry() {
  static ScanRegistry *removals =
      new ScanRegistry; // never destroyed: workers may end after exit begins
  return *removals;
}

// freed: what the deletion gave back to the file system, the blocks the
// file held (a sparse file holds fewer than its size says), and nothing
// while another name still links to them or while the file is in the Trash.
// noted: where a trashed file went.
Result remove(const QString &path, const ShownFiles::Entry &entry, bool toTrash, ShownFiles &shown,
              qint64 &freed, QJsonObject &noted) {
  freed = 0;
  Found found;
  const Result checked = ListedFile::find(path, entry, found);
  if (checked != Result::Listed)
    return checked;
  if (toTrash) {
    Trash::Trashed where;
    const int error =
        Trash::moveToTrash(found.folder.get(), found.name, FileName::toBytes(path), &where);
    if (error != 0) {
      Log::info("NativeUtil", "move to trash failed: {} ({})", path.toStdString(),
                std::strerror(error));
      return error == ENOENT ? Result::Gone : Result::Failed;
    }
    noted = {{QStringLiteral("trash"), CleaningRecords::encodedPath(where.folder)},
             {QStringLiteral("name"), CleaningRecords::encodedPath(where.name)},
             {QStringLiteral("file"), CleaningRecords::fileText(FileId::of(found.status))}};
  } else if (entry.isFolder) {
    if (!FileWalker::removeTree(found.folder.get(), found.name))
      return Result::Failed;
  } else if (::unlinkat(found.folder.get(), found.name.constData(), 0) != 0) {
    return errno == ENOENT ? Result::Gone : Result::Failed;
  }
  shown.remove(path);
  if (toTrash)
    return Result::Trashed;
  if (found.status.st_nlink <= 1 && !entry.isFolder)
    freed = qint64(found.status.st_blocks) * 512;
  return Result::Deleted;
}

class RemovalContext : public ScanContext {
public:
  RemovalContext(const QJsonObject &request, ScriptCallback callback)
      : ScanContext(QStringList(), std::move(callback)), request(request),
        toTrash(request.value(QStringLiteral("trash")).toBool()),
        toLinks(request.value(QStringLiteral("link")).toBool()) {}

  QString run() {
    removeListed(request.value(QStringLiteral("files")).toArray(), ShownFiles::largeFiles());
    removeListed(request.value(QStringLiteral("entries")).toArray(), ShownFiles::spaceMap());
    const QJsonArray groups = request.value(QStringLiteral("groups")).toArray();
    for (const QJsonValue &group : groups) {
      if (stopRequested)
        break;
      removeCopies(group.toObject());
    }
    QJsonObject ending{{QStringLiteral("list"), answers}};
    if (!recorded.isEmpty()) {
      const QString mode = toLinks   ? QStringLiteral("link")
                           : toTrash ? QStringLiteral("trash")
                                     : QStringLiteral("delete");
      const QString id = CleaningRecords::add(
          {{QStringLiteral("mode"), mode},
           {QStringLiteral("time"), double(QDateTime::currentSecsSinceEpoch())},
           {QStringLiteral("items"), recorded}});
      if (id.isEmpty())
        Log::info("NativeUtil", "could not record the cleaning in {}",
                  CleaningRecords::folder().toStdString());
      else
        ending.insert(QStringLiteral("record"), id);
    }
    return JsonText::indented(ending);
  }

private:
  struct Member {
    QString path;
    ShownFiles::Entry entry;
  };

  // noted: what the history keeps of a file acted on, beside its path and size.
  void answer(const QString &path, Result result, qint64 freed = 0,
              QJsonObject noted = QJsonObject(), qint64 size = 0) {
    const QString text = ListedFile::text(result);
    if (result == Result::Deleted || result == Result::Trashed || result == Result::Linked ||
        result == Result::Shared) {
      noted.insert(QStringLiteral("path"), CleaningRecords::encodedPath(FileName::toBytes(path)));
      noted.insert(QStringLiteral("result"), text);
      noted.insert(QStringLiteral("size"), double(size));
      recorded.append(noted);
    }
    Log::info("NativeUtil", "delete listed file {} result: {}", path.toStdString(),
              text.toStdString());
    answers.append(QJsonObject{{QStringLiteral("freed"), double(freed)},
                               {QStringLiteral("path"), path},
                               {QStringLiteral("result"), text}});
    // At once after the first, so the page shows a deletion under way.
    if (answers.size() == 1 || progressDue(progressInterval))
      send("progress", JsonText::list(answers));
  }

  void removeListed(const QJsonArray &files, ShownFiles &shown) {
    for (const QJsonValue &file : files) {
      if (stopRequested)
        break;
      const QString path = file.toObject().value(QStringLiteral("path")).toString();
      const qint64 size = qint64(file.toObject().value(QStringLiteral("size")).toDouble(-1));
      ShownFiles::Entry entry;
      if (!shown.find(path, entry))
        answer(path, Result::NotListed);
      else if (entry.size != size) // a later scan listed it otherwise
        answer(path, Result::Changed);
      else
        answerRemoval(path, entry, shown);
    }
  }

  void answerRemoval(const QString &path, const ShownFiles::Entry &entry, ShownFiles &shown) {
    qint64 freed = 0;
    QJsonObject noted;
    const Result result = remove(path, entry, toTrash, shown, freed, noted);
    answer(path, result, freed, noted, entry.size);
  }

  // The copy replaced by the kept file, both found again as listed.
  void answerReplacement(const Member &copy, const Member &kept) {
    Found copyFound, keptFound;
    Result result = ListedFile::find(kept.path, kept.entry, keptFound);
    if (result != Result::Listed)
      return answer(copy.path, Result::KeptChanged);
    result = ListedFile::find(copy.path, copy.entry, copyFound);
    if (result != Result::Listed)
      return answer(copy.path, result);
    qint64 freed = 0;
    QJsonObject noted;
    result = CopyLinker::replace(copyFound, copy.entry, keptFound, kept.entry, freed, noted);
    if (result == Result::Linked || result == Result::Shared) {
      noted.insert(QStringLiteral("kept"),
                   CleaningRecords::encodedPath(FileName::toBytes(kept.path)));
      noted.insert(QStringLiteral("file"), CleaningRecords::fileText(kept.entry.id));
      noted.insert(QStringLiteral("folder"), CleaningRecords::fileText(copy.entry.folder));
      ShownFiles::duplicates().remove(copy.path);
    }
    answer(copy.path, result, freed, noted, copy.entry.size);
  }

  void removeCopies(const QJsonObject &group) {
    const QByteArray hash = group.value(QStringLiteral("hash")).toString().toLatin1();
    Member kept{group.value(QStringLiteral("keep")).toString(), {}};
    std::vector<Member> copies;
    for (const QJsonValue &copy : group.value(QStringLiteral("delete")).toArray())
      copies.push_back({copy.toString(), {}});
    Result result = toLinks && kept.path.isEmpty() ? Result::NotListed : check(hash, kept, copies);
    if (stopRequested) // the group was not reached
      return;
    if (result == Result::Listed && !kept.path.isEmpty()) {
      Found found; // still as compared
      if (ListedFile::find(kept.path, kept.entry, found) != Result::Listed)
        result = Result::KeptChanged;
    }
    for (const Member &copy : copies) {
      if (result == Result::Listed && toLinks)
        answerReplacement(copy, kept);
      else if (result == Result::Listed)
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
    if (!kept.path.isEmpty() && ListedFile::find(kept.path, kept.entry, found) != Result::Listed)
      return Result::KeptChanged;
    for (const Member &copy : copies) {
      const Result result = ListedFile::find(copy.path, copy.entry, found);
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
      files.push_back(ListedFile::open(kept.path, kept.entry));
      for (size_t k = begin; k < end; ++k)
        files.push_back(ListedFile::open(copies[k].path, copies[k].entry));
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
  const bool toLinks; // the copies become links to the kept file
  QJsonArray answers;
  QJsonArray recorded;
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
