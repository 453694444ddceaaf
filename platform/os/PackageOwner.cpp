#include "platform/os/PackageOwner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVector>

#include <sys/stat.h>

#include "base/files/PrivateFiles.h"

namespace PackageOwner {
namespace {

// The lists' owners of each path: every list is read once and searched only
// for the lines wanted.
QHash<QString, QString> scan(const QDir &info, const QStringList &lists, const QStringList &paths) {
  QVector<QByteArray> lines;
  for (const QString &path : paths)
    lines.append('\n' + QFile::encodeName(QDir::cleanPath(path)) + '\n');
  QHash<QString, QString> found;
  for (const QString &list : lists) {
    QFile file(info.filePath(list));
    if (!file.open(QIODevice::ReadOnly))
      continue;
    const QByteArray text = '\n' + file.readAll();
    for (int i = 0; i < paths.size(); ++i) {
      if (!found.contains(paths[i]) && text.contains(lines[i]))
        found.insert(paths[i], list.left(list.size() - 5));
    }
    if (found.size() == paths.size())
      break;
  }
  return found;
}

QString cacheFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/Tidewell/package-owners");
}

// dpkg adds and removes a package's list by renaming in the folder, so the
// folder's change time tells when the answers went stale.
QByteArray cacheKey(const QString &infoDir) {
  struct stat st {};
  if (::stat(QFile::encodeName(infoDir).constData(), &st) != 0)
    return QByteArray();
  return QFile::encodeName(infoDir) + '\t' +
         QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
}

// Path, tab, owner (empty for none), one a line, after the key.
QHash<QString, QString> readCache(const QByteArray &key) {
  QHash<QString, QString> cached;
  QFile file(cacheFile());
  if (key.isEmpty() || !file.open(QIODevice::ReadOnly) || file.readLine() != key + '\n')
    return cached;
  for (const QByteArray &line : file.readAll().split('\n')) {
    const int tab = line.indexOf('\t');
    if (tab > 0)
      cached.insert(QFile::decodeName(line.left(tab)), QString::fromUtf8(line.mid(tab + 1)));
  }
  return cached;
}

void writeCache(const QByteArray &key, const QHash<QString, QString> &answers) {
  const QString path = cacheFile();
  if (!PrivateFiles::makeFolder(QFileInfo(path).path()))
    return;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return;
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
  file.write(key + '\n');
  for (auto it = answers.constBegin(); it != answers.constEnd(); ++it) {
    if (it.key().contains(QLatin1Char('\n')) || it.key().contains(QLatin1Char('\t')))
      continue; // asked again next time
    file.write(QFile::encodeName(it.key()) + '\t' + it.value().toUtf8() + '\n');
  }
  file.commit();
}

} // namespace

QString of(const QString &path, const QString &infoDir, const QStringList &candidates) {
  if (candidates.isEmpty())
    return owners({path}, infoDir).value(path).section(QLatin1Char(':'), 0, 0);
  const QDir info(infoDir);
  QStringList lists;
  for (const QString &package : candidates) // "name.list" or "name:arch.list"
    lists += info.entryList(
        {package + QStringLiteral(".list"), package + QStringLiteral(":*.list")}, QDir::Files);
  return scan(info, lists, {path}).value(path).section(QLatin1Char(':'), 0, 0);
}

QHash<QString, QString> owners(const QStringList &paths, const QString &infoDir) {
  const qint64 started = QDateTime::currentSecsSinceEpoch();
  const QByteArray key = cacheKey(infoDir);
  QHash<QString, QString> answers = readCache(key);
  QStringList missing;
  for (const QString &path : paths) {
    if (!answers.contains(path))
      missing.append(path);
  }
  if (!missing.isEmpty()) {
    const QDir info(infoDir);
    const QHash<QString, QString> found =
        scan(info, info.entryList({QStringLiteral("*.list")}, QDir::Files, QDir::Name), missing);
    for (const QString &path : qAsConst(missing))
      answers.insert(path, found.value(path));
    // A change within the same second as the key may leave the key as it
    // was: such answers are not kept.
    if (key == cacheKey(infoDir) &&
        key.mid(key.lastIndexOf('\t') + 1).toLongLong() / 1000000000 < started)
      writeCache(key, answers);
  }
  QHash<QString, QString> result;
  for (const QString &path : paths) {
    const QString owner = answers.value(path);
    if (!owner.isEmpty())
      result.insert(path, owner);
  }
  return result;
}

} // namespace PackageOwner
