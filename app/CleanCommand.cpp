#include "app/CleanCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <vector>

#include "cleanup/AppCleanerDefinitions.h"
#include "cleanup/CleanerRunner.h"

namespace {

const char *helpText = R"(Usage: tidewell-clean [--json] --list
       tidewell-clean [--json] --measure [ID...]
       tidewell-clean [--json] --preview [ID...]
       tidewell-clean [--json] --clean [ID...]
       tidewell-clean [--json] --clean --from PREVIEW.json

Lists, previews and cleans the cleaners the application shows: caches,
thumbnails, old logs and temporary files of the user running it, and what
the system accumulates (the journal, downloaded packages, unused Flatpak
runtimes, disabled Snap revisions, core dumps, rotated logs). Those that
need root are cleaned by root, or through polkit's password prompt.

  --list          every cleaner: id, whether it is preselected, whether it
                  needs root, its name
  --measure       the bytes each cleaner would free and the total, as the
                  application shows them; without ids, every cleaner
  --preview       every file the cleaners would delete, with its size, and
                  the total; without ids, the preselected cleaners
  --clean         deletes what a preview taken now lists; without ids, the
                  preselected cleaners
  --from FILE     with --clean: deletes only the files a saved
                  `--preview --json` answer lists, the cleaners it names
  --json          answers as JSON
  --help          this text

A file is deleted only while it is still the file the preview listed (the
same device, inode, size and modification time); one that appeared or
changed since stays. A cleaner whose application runs is skipped, with the
reason, and deletes nothing.

Exit codes:
  0  done
  1  something stayed: a file could not be deleted or changed since the
     preview, or a cleaner was skipped because its application runs
  2  usage error (also a --from file that cannot be read)
  3  unknown cleaner id
)";

// The cleaners named, in the order named; without ids the preselected ones,
// or every one. Empty with the unknown id in unknown when one is not a
// cleaner.
std::vector<const AppCleaner *> chosen(const QStringList &ids, bool everyOne, QString &unknown) {
  std::vector<const AppCleaner *> result;
  if (ids.isEmpty()) {
    for (const AppCleaner &cleaner : AppCleanerDefinitions::installed())
      if (cleaner.safe || everyOne)
        result.push_back(&cleaner);
    return result;
  }
  for (const QString &id : ids) {
    const AppCleaner *cleaner = AppCleanerDefinitions::find(id);
    if (!cleaner) {
      unknown = id;
      return {};
    }
    if (std::find(result.begin(), result.end(), cleaner) == result.end())
      result.push_back(cleaner);
  }
  return result;
}

QJsonObject fileJson(const CleanerFile &file) {
  QJsonObject object{{"path", file.path},
                     {"size", double(file.size)},
                     {"modified", double(file.modifiedSecs)},
                     {"device", double(file.id.device)},
                     {"inode", double(file.id.inode)}};
  if (!file.key.isEmpty())
    object.insert("key", file.key);
  return object;
}

CleanerFile fileOf(const QJsonObject &object) {
  CleanerFile file;
  file.path = object.value("path").toString();
  file.size = qint64(object.value("size").toDouble(-1));
  file.modifiedSecs = qint64(object.value("modified").toDouble());
  file.id = {quint64(object.value("device").toDouble()), quint64(object.value("inode").toDouble())};
  file.key = object.value("key").toString();
  return file;
}

} // namespace

CleanCommand::Exit CleanCommand::run(const QStringList &arguments) {
  QString action;
  QString from;
  QStringList ids;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString &argument = arguments.at(i);
    if (argument == "--json") {
      json_ = true;
    } else if (argument == "--help" || argument == "-h") {
      help();
      return Done;
    } else if (argument == "--from" && i + 1 < arguments.size()) {
      from = arguments.at(++i);
    } else if (argument == "--list" || argument == "--measure" || argument == "--preview" ||
               argument == "--clean") {
      if (!action.isEmpty()) {
        err_ << "tidewell-clean: choose one of --list, --measure, --preview and --clean\n";
        return UsageError;
      }
      action = argument;
    } else if (argument.startsWith('-')) {
      err_ << "tidewell-clean: unknown option " << argument << " (see --help)\n";
      return UsageError;
    } else {
      ids << argument;
    }
  }
  if (action.isEmpty() || (action == "--list" && !ids.isEmpty()) ||
      (!from.isEmpty() && (action != "--clean" || !ids.isEmpty()))) {
    err_ << "tidewell-clean: nothing to do as asked (see --help)\n";
    return UsageError;
  }
  if (action == "--list")
    return list();
  if (action == "--measure")
    return measure(ids);
  if (action == "--preview")
    return preview(ids);
  return clean(ids, from);
}

void CleanCommand::help() {
  out_ << helpText;
}

CleanCommand::Exit CleanCommand::list() {
  QJsonArray list;
  for (const AppCleaner &cleaner : AppCleanerDefinitions::installed()) {
    if (json_) {
      list.append(QJsonObject{{"id", cleaner.id},
                              {"application", cleaner.application},
                              {"name", cleaner.name},
                              {"nameEn", cleaner.nameEn},
                              {"description", cleaner.description},
                              {"descriptionEn", cleaner.descriptionEn},
                              {"warning", cleaner.warning},
                              {"preselected", cleaner.safe},
                              {"needsRoot", cleaner.needsRoot}});
      continue;
    }
    out_ << cleaner.id.leftJustified(28) << (cleaner.safe ? "preselected  " : "             ")
         << (cleaner.needsRoot ? "root  " : "      ") << cleaner.name << '\n';
  }
  if (json_)
    out_ << QJsonDocument(QJsonObject{{"list", list}}).toJson();
  return Done;
}

CleanCommand::Exit CleanCommand::measure(const QStringList &ids) {
  QString unknown;
  const std::vector<const AppCleaner *> cleaners = chosen(ids, true, unknown);
  if (!unknown.isEmpty()) {
    err_ << "tidewell-clean: no cleaner " << unknown << '\n';
    return UnknownId;
  }
  CleanerRunner runner;
  QJsonArray answers;
  qint64 total = 0;
  for (const AppCleaner *cleaner : cleaners) {
    const CleanerPreview found = runner.preview(*cleaner, false);
    total += found.bytes;
    if (json_)
      answers.append(QJsonObject{{"id", cleaner->id},
                                 {"name", cleaner->name},
                                 {"skipped", found.skipped},
                                 {"size", double(found.bytes)}});
    else
      out_ << cleaner->id.leftJustified(28) << QString::number(found.bytes).rightJustified(14)
           << "  " << (found.skipped.isEmpty() ? cleaner->name : found.skipped) << '\n';
  }
  if (json_)
    out_ << QJsonDocument(QJsonObject{{"cleaners", answers}, {"total", double(total)}}).toJson();
  else
    out_ << "total: " << total << " bytes\n";
  return Done;
}

CleanCommand::Exit CleanCommand::preview(const QStringList &ids) {
  QString unknown;
  const std::vector<const AppCleaner *> cleaners = chosen(ids, false, unknown);
  if (!unknown.isEmpty()) {
    err_ << "tidewell-clean: no cleaner " << unknown << '\n';
    return UnknownId;
  }
  CleanerRunner runner;
  qint64 total = 0;
  // Written as it is found: one JSON document of a million files would be
  // copied over and over as it grows.
  if (json_)
    out_ << "{\"cleaners\": [";
  for (const AppCleaner *cleaner : cleaners) {
    const CleanerPreview found = runner.preview(*cleaner, true);
    total += found.bytes;
    if (json_) {
      QByteArray head = QJsonDocument(QJsonObject{{"id", cleaner->id},
                                                  {"name", cleaner->name},
                                                  {"skipped", found.skipped},
                                                  {"size", double(found.bytes)},
                                                  {"count", double(found.files.size())}})
                            .toJson(QJsonDocument::Compact);
      head.chop(1); // the closing brace, after the files
      out_ << (cleaner == cleaners.front() ? "\n" : ",\n") << head << ", \"files\": [";
      for (const CleanerFile &file : found.files)
        out_ << (&file == &found.files.front() ? "\n" : ",\n")
             << QJsonDocument(fileJson(file)).toJson(QJsonDocument::Compact);
      out_ << "]}";
      continue;
    }
    out_ << cleaner->id << ": " << cleaner->name << ", " << found.bytes << " bytes in "
         << found.files.size() << " files";
    if (!found.skipped.isEmpty())
      out_ << ", skipped: " << found.skipped;
    out_ << '\n';
    for (const CleanerFile &file : found.files)
      out_ << "  " << QString::number(file.size).rightJustified(12) << "  " << file.path << '\n';
  }
  if (json_)
    out_ << "\n], \"total\": " << total << "}\n";
  else
    out_ << "total: " << total << " bytes\n";
  return Done;
}

CleanCommand::Exit CleanCommand::clean(const QStringList &ids, const QString &fromFile) {
  // What each cleaner is to delete: a preview taken now, or the one saved.
  std::vector<std::pair<const AppCleaner *, CleanerPreview>> work;
  CleanerRunner runner;
  QString unknown;
  if (fromFile.isEmpty()) {
    for (const AppCleaner *cleaner : chosen(ids, false, unknown))
      work.emplace_back(cleaner, runner.preview(*cleaner, false));
  } else {
    QFile file(fromFile);
    const QJsonDocument saved =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
    if (!saved.object().value("cleaners").isArray()) {
      err_ << "tidewell-clean: " << fromFile << " is not a saved --preview --json answer\n";
      return UsageError;
    }
    for (const QJsonValue &item : saved.object().value("cleaners").toArray()) {
      const AppCleaner *cleaner = AppCleanerDefinitions::find(item["id"].toString());
      if (!cleaner) {
        unknown = item["id"].toString();
        break;
      }
      CleanerPreview listed;
      listed.skipped = item["skipped"].toString();
      for (const QJsonValue &entry : item["files"].toArray())
        listed.files.push_back(fileOf(entry.toObject()));
      work.emplace_back(cleaner, listed);
    }
  }
  if (!unknown.isEmpty()) {
    err_ << "tidewell-clean: no cleaner " << unknown << '\n';
    return UnknownId;
  }
  Exit exit = Done;
  QJsonArray answers;
  qint64 freed = 0;
  for (const auto &[cleaner, listed] : work) {
    const CleanerOutcome outcome = runner.clean(*cleaner, listed);
    freed += outcome.freedBytes;
    if (outcome.failed > 0 || outcome.changed > 0 || !outcome.skipped.isEmpty())
      exit = SomethingLeft;
    if (json_) {
      answers.append(QJsonObject{{"id", cleaner->id},
                                 {"deleted", outcome.deleted},
                                 {"failed", outcome.failed},
                                 {"changed", outcome.changed},
                                 {"freed", double(outcome.freedBytes)},
                                 {"skipped", outcome.skipped}});
      continue;
    }
    out_ << cleaner->id << ": " << outcome.deleted << " deleted, " << outcome.failed
         << " not deleted, " << outcome.changed << " changed since the preview and left, "
         << outcome.freedBytes << " bytes freed";
    if (!outcome.skipped.isEmpty())
      out_ << ", skipped: " << outcome.skipped;
    out_ << '\n';
  }
  if (json_)
    out_ << QJsonDocument(QJsonObject{{"cleaners", answers}, {"freed", double(freed)}}).toJson();
  else
    out_ << "freed: " << freed << " bytes\n";
  return exit;
}
