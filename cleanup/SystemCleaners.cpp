#include "cleanup/SystemCleaners.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/PrivacyTree.h"
#include "platform/os/CommandRunner.h"
#include "platform/storage/FileName.h"
#include "platform/storage/TrustedFolder.h"

namespace {

enum class Kind { Files, Journal, Flatpak, Snap };

struct Entry {
  const char *id;
  Kind kind;
  bool root;
  const char *folders;  // ':'-separated fixed folders
  const char *patterns; // ':'-separated name globs; UID stands for our uid
  int maxDepth;         // of the files below a folder; 0 for any
};

const Entry table[] = {
    {"flatpak-unused-user", Kind::Flatpak, false, "", "", 0},
    {"flatpak-unused-system", Kind::Flatpak, true, "/var/lib/flatpak", "", 0},
    {"journal-user", Kind::Journal, false, "/var/log/journal:/run/log/journal",
     "user-UID@*.journal:user-UID@*.journal~", 2},
    {"journal-system", Kind::Journal, true, "/var/log/journal:/run/log/journal",
     "*@*.journal:*.journal~", 2},
    {"apt-archives", Kind::Files, true, "/var/cache/apt/archives", "*.deb", 1},
    {"snap-disabled", Kind::Snap, true, "/var/lib/snapd/snaps", "", 0},
    {"system-coredumps", Kind::Files, true, "/var/lib/systemd/coredump", "core.*", 1},
    {"system-rotated-logs", Kind::Files, true, "/var/log", "*.gz:*.xz:*.bz2:*.zst:*.old:*.[0-9]",
     0},
};

constexpr int listTimeMs = 60 * 1000;
// Uninstalling runtimes, and the authorisation dialog that waits for the user.
constexpr int cleanTimeMs = 30 * 60 * 1000;

const Entry *find(const QString &id) {
  for (const Entry &entry : table)
    if (id == QLatin1String(entry.id))
      return &entry;
  return nullptr;
}

QString fileKey(const WalkEntry &entry) {
  return QStringLiteral("%1:%2:%3:%4")
      .arg(entry.id.device)
      .arg(entry.id.inode)
      .arg(entry.size)
      .arg(entry.modifiedSecs);
}

// Only root may change a folder we delete from as root.
bool rootOnly(const WalkEntry &entry) {
  return entry.owner == 0 && (entry.mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString lastLine(const CommandResult &result) {
  const QStringList lines =
      (result.errorOutput + '\n' + result.output).split('\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

// The matching files below one fixed folder, into items when given; with
// result, deletes those whose key is in keys and counts them there.
void walkFiles(const QString &path, const Entry &entry, QVector<SystemItem> *items,
               const QSet<QString> *keys, SystemCleanResult *result) {
  QString error;
  const UniqueFd folder = ::geteuid() == 0
                              ? TrustedFolder::open(path, error)
                              : FileWalker::openDirectory(FileName::toBytes(path), false);
  if (!folder.isValid())
    return;
  QList<QByteArray> patterns;
  for (const QString &pattern : QString::fromLatin1(entry.patterns).split(':'))
    patterns << FileName::toBytes(QString(pattern).replace("UID", QString::number(::geteuid())));
  std::vector<QByteArray> names;
  FileWalker walker;
  walker.walk(folder.get(), [&](const WalkEntry &found) {
    if (found.otherFileSystem)
      return FileWalker::Action::Skip;
    names.resize(size_t(found.depth - 1));
    if (found.type == EntryType::Directory) {
      if ((entry.maxDepth > 0 && found.depth >= entry.maxDepth) || !rootOnly(found))
        return FileWalker::Action::Skip;
      names.push_back(found.name);
      return FileWalker::Action::Continue;
    }
    if (found.type != EntryType::File || found.linkCount != 1)
      return FileWalker::Action::Continue;
    if (std::none_of(patterns.begin(), patterns.end(), [&](const QByteArray &p) {
          return fnmatch(p.constData(), found.name.constData(), FNM_PERIOD) == 0;
        }))
      return FileWalker::Action::Continue;
    const QString key = fileKey(found);
    if (items) {
      QByteArray full = FileName::toBytes(path);
      for (const QByteArray &name : names)
        full += '/' + name;
      items->append({FileName::fromBytes(full + '/' + found.name), found.size, key});
    }
    if (result && keys->contains(key) && FileWalker::removeEntry(found)) {
      ++result->removed;
      result->freed += found.size;
    }
    return FileWalker::Action::Continue;
  });
}

// Refs as flatpak prints them: ID/ARCH/BRANCH, perhaps after a kind.
QStringList refs(const QString &output) {
  QStringList found;
  for (QString line : output.split('\n', Qt::SkipEmptyParts)) {
    line = line.trimmed().remove(QRegularExpression(QStringLiteral("^(app|runtime)/")));
    if (line.count('/') == 2 && !line.contains(' '))
      found << line;
  }
  return found;
}

qint64 folderBytes(const QString &path) {
  const UniqueFd folder = FileWalker::openDirectory(FileName::toBytes(path), false);
  QSet<FileId> seen;
  return folder.isValid() ? PrivacyTree::measure(folder.get(), seen, nullptr) : 0;
}

// A runtime is unused when no installed application of either installation
// runs on it, builds with it or extends it, it extends no runtime in use,
// and it is not pinned. This keeps more than flatpak would, never less.
void listFlatpak(const QString &flatpak, const QString &installation, bool system,
                 SystemListing &listing) {
  const QString scope = system ? QStringLiteral("--system") : QStringLiteral("--user");
  const CommandResult apps =
      CommandRunner::run(flatpak, {"list", "--app", "--columns=application,runtime"}, listTimeMs);
  const CommandResult runtimes = CommandRunner::run(
      flatpak, {"list", scope, "--runtime", "--all", "--columns=ref"}, listTimeMs);
  if (!apps.succeeded() || !runtimes.succeeded()) {
    listing.absent = true;
    listing.note = QStringLiteral("flatpak 无法列出已安装的内容：") +
                   lastLine(apps.succeeded() ? runtimes : apps);
    return;
  }
  const QStringList pins =
      CommandRunner::run(flatpak, {"pin", scope}, listTimeMs).output.split('\n');
  QStringList usedIds;
  QSet<QString> used;
  for (const QString &line : apps.output.split('\n', Qt::SkipEmptyParts)) {
    const QStringList columns =
        line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (columns.size() < 2)
      continue;
    usedIds << columns[0] + '.';
    used.insert(columns[1]);
    usedIds << columns[1].section('/', 0, 0) + '.';
  }
  QStringList unused;
  for (const QString &ref : refs(runtimes.output)) {
    const QString id = ref.section('/', 0, 0);
    const QString full = QStringLiteral("runtime/") + ref;
    const bool extends = std::any_of(usedIds.begin(), usedIds.end(),
                                     [&](const QString &prefix) { return id.startsWith(prefix); });
    const bool pinned = std::any_of(pins.begin(), pins.end(), [&](const QString &pin) {
      const QByteArray pattern = pin.trimmed().toUtf8();
      return !pattern.isEmpty() && fnmatch(pattern.constData(), full.toUtf8().constData(), 0) == 0;
    });
    if (used.contains(ref) || extends || pinned)
      continue;
    unused << full;
    listing.items.append({full, folderBytes(installation + '/' + full), full});
  }
  listing.command =
      QStringLiteral("flatpak uninstall %1 --noninteractive -y %2").arg(scope, unused.join(' '));
}

void listSnap(const QString &snap, const QString &folder, SystemListing &listing) {
  const CommandResult all = CommandRunner::run(snap, {"list", "--all"}, listTimeMs);
  if (!all.succeeded()) {
    listing.absent = true;
    listing.note = QStringLiteral("snap 无法列出已安装的软件包：") + lastLine(all);
    return;
  }
  const QRegularExpression name(QStringLiteral("^[a-z0-9][a-z0-9-]*$"));
  const QRegularExpression revision(QStringLiteral("^x?[0-9]+$"));
  for (const QString &line : all.output.split('\n', Qt::SkipEmptyParts).mid(1)) {
    const QStringList columns =
        line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (columns.size() < 4 || !columns.last().split(',').contains(QStringLiteral("disabled")) ||
        !name.match(columns[0]).hasMatch() || !revision.match(columns[2]).hasMatch())
      continue;
    const QFileInfo file(QStringLiteral("%1/%2_%3.snap").arg(folder, columns[0], columns[2]));
    listing.items.append({QStringLiteral("%1 修订版 %2").arg(columns[0], columns[2]),
                          file.isFile() ? file.size() : 0, columns[0] + '/' + columns[2]});
  }
  listing.command = QStringLiteral("snap remove NAME --revision=REV");
}

// Runs one cleaning command, counting it as a failure when it fails.
bool runClean(const QString &program, const QStringList &arguments, SystemCleanResult &result) {
  const CommandResult run = CommandRunner::run(program, arguments, cleanTimeMs);
  if (!run.succeeded())
    result.detail = QFileInfo(program).fileName() + QStringLiteral(": ") +
                    (run.finished ? lastLine(run) : QStringLiteral("did not finish"));
  return run.succeeded();
}

QString helperPath() {
  return QStringLiteral(TW_CLEAN_HELPER_PATH);
}

bool isRootOwned(const QString &path) {
  struct stat info;
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == 0 && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

qint64 SystemListing::bytes() const {
  qint64 total = 0;
  for (const SystemItem &item : items)
    total += item.size;
  return total;
}

QJsonObject SystemCleanResult::toJson(const QString &id) const {
  return {{"id", id},     {"result", result},       {"removed", removed},
          {"left", left}, {"freed", double(freed)}, {"detail", detail}};
}

SystemCleanResult SystemCleanResult::fromJson(const QJsonObject &object) {
  SystemCleanResult result;
  result.result = object.value("result").toString(QStringLiteral("failed"));
  result.removed = object.value("removed").toInt();
  result.left = object.value("left").toInt();
  result.freed = qint64(object.value("freed").toDouble());
  result.detail = object.value("detail").toString();
  return result;
}

SystemCleaners::SystemCleaners(QString root) : root_(std::move(root)) {
  if (root_.endsWith('/'))
    root_.chop(1);
}

bool SystemCleaners::isKnown(const QString &id) {
  return find(id) != nullptr;
}

bool SystemCleaners::needsRoot(const QString &id) {
  const Entry *entry = find(id);
  return entry && entry->root;
}

SystemListing SystemCleaners::list(const QString &id) const {
  SystemListing listing;
  const Entry *entry = find(id);
  if (!entry) {
    listing.absent = true;
    listing.note = QStringLiteral("未知的清理项");
    return listing;
  }
  QStringList folders;
  for (const QString &folder : QString::fromLatin1(entry->folders).split(':', Qt::SkipEmptyParts))
    if (QFileInfo(root_ + folder).isDir())
      folders << root_ + folder;
  const auto tool = [&](const char *name) {
    const QString program = root_ + QStringLiteral("/usr/bin/") + QLatin1String(name);
    if (!QFileInfo(program).isExecutable()) {
      listing.absent = true;
      listing.note = QStringLiteral("未安装 %1").arg(QLatin1String(name));
    }
    return program;
  };
  switch (entry->kind) {
  case Kind::Files:
  case Kind::Journal:
    if (entry->kind == Kind::Journal) {
      const QString journalctl = tool("journalctl");
      // journalctl vacuums whole folders: root's "user" vacuum would take
      // the system's archives too, which this row does not list.
      if (!listing.absent && !entry->root && ::geteuid() == 0) {
        listing.absent = true;
        listing.note = QStringLiteral("以管理员身份运行时，由“系统日志的归档”一并清理");
      }
      if (listing.absent)
        return listing;
      const QString scope = entry->root ? QStringLiteral("--system") : QStringLiteral("--user");
      listing.note = lastLine(CommandRunner::run(journalctl, {scope, "--disk-usage"}, listTimeMs));
      listing.command = QStringLiteral("journalctl %1 --vacuum-size=1").arg(scope);
    }
    if (folders.isEmpty()) {
      listing.absent = true;
      listing.note = QStringLiteral("没有 %1").arg(QString::fromLatin1(entry->folders));
    }
    for (const QString &folder : folders)
      walkFiles(folder, *entry, &listing.items, nullptr, nullptr);
    break;
  case Kind::Flatpak: {
    const QString flatpak = tool("flatpak");
    if (!listing.absent)
      listFlatpak(flatpak,
                  entry->root
                      ? root_ + QLatin1String(entry->folders)
                      : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                            QStringLiteral("/flatpak"),
                  entry->root, listing);
    break;
  }
  case Kind::Snap: {
    const QString snap = tool("snap");
    if (!listing.absent)
      listSnap(snap, root_ + QLatin1String(entry->folders), listing);
    break;
  }
  }
  return listing;
}

SystemCleanResult SystemCleaners::cleanHere(const QString &id, const QStringList &keys) const {
  SystemCleanResult result;
  const Entry *entry = find(id);
  if (!entry) {
    result.result = QStringLiteral("refused");
    result.detail = QStringLiteral("not an allow-listed cleaner: ") + id;
    return result;
  }
  const SystemListing before = list(id);
  if (before.absent) {
    result.result = QStringLiteral("absent");
    result.detail = before.note;
    return result;
  }
  const QSet<QString> wanted(keys.begin(), keys.end());
  QVector<SystemItem> chosen;
  for (const SystemItem &item : before.items)
    if (wanted.contains(item.key))
      chosen.append(item);
  bool ran = true;
  switch (entry->kind) {
  case Kind::Files:
    for (const QString &folder : QString::fromLatin1(entry->folders).split(':'))
      walkFiles(root_ + folder, *entry, nullptr, &wanted, &result);
    break;
  case Kind::Journal:
    if (!chosen.isEmpty())
      ran = runClean(root_ + QStringLiteral("/usr/bin/journalctl"),
                     {entry->root ? QStringLiteral("--system") : QStringLiteral("--user"),
                      QStringLiteral("--vacuum-size=1")},
                     result);
    break;
  case Kind::Flatpak: {
    QStringList arguments = {"uninstall", entry->root ? "--system" : "--user", "--noninteractive",
                             "-y"};
    for (const SystemItem &item : chosen)
      arguments << item.key;
    if (!chosen.isEmpty())
      ran = runClean(root_ + QStringLiteral("/usr/bin/flatpak"), arguments, result);
    break;
  }
  case Kind::Snap:
    for (const SystemItem &item : chosen)
      ran = runClean(root_ + QStringLiteral("/usr/bin/snap"),
                     {"remove", item.key.section('/', 0, 0),
                      QStringLiteral("--revision=") + item.key.section('/', 1)},
                     result) &&
            ran;
    break;
  }
  if (entry->kind != Kind::Files) {
    // What went is what the tool no longer lists.
    QSet<QString> still;
    for (const SystemItem &item : list(id).items)
      still.insert(item.key);
    for (const SystemItem &item : chosen)
      if (!still.contains(item.key)) {
        ++result.removed;
        result.freed += item.size;
      }
  }
  result.left = int(keys.size()) - result.removed;
  result.result = !ran              ? QStringLiteral("failed")
                  : result.left > 0 ? QStringLiteral("partly")
                                    : QStringLiteral("cleaned");
  return result;
}

SystemCleanResult SystemCleaners::clean(const QString &id, const QStringList &keys) const {
  if (!needsRoot(id) || ::geteuid() == 0)
    return cleanHere(id, keys);
  SystemCleanResult result;
  if (!isRootOwned(helperPath())) {
    result.result = QStringLiteral("failed");
    result.detail = QStringLiteral("the clean helper is not installed: ") + helperPath();
    return result;
  }
  const CommandResult run = CommandRunner::run(
      QStringLiteral("/usr/bin/pkexec"),
      QStringList{helperPath(), QStringLiteral("clean"), id} + keys, cleanTimeMs);
  // pkexec: 126 when the user dismissed the dialog, 127 when not authorised.
  if (run.finished && !run.crashed && (run.exitCode == 126 || run.exitCode == 127)) {
    result.result = QStringLiteral("notAuthorised");
    result.left = int(keys.size());
    return result;
  }
  const QJsonDocument answer = QJsonDocument::fromJson(run.output.toUtf8());
  if (!answer.isObject()) {
    result.result = QStringLiteral("failed");
    result.left = int(keys.size());
    result.detail =
        run.finished ? lastLine(run) : QStringLiteral("the clean helper did not finish");
    return result;
  }
  return SystemCleanResult::fromJson(answer.object());
}
