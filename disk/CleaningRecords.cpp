#include "disk/CleaningRecords.h"

#include "base/files/PrivateFiles.h"
#include "base/log/LogSetup.h"
#include "platform/storage/Trash.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <mutex>

namespace {

std::mutex &storeMutex() {
  static std::mutex *mutex = new std::mutex; // never destroyed: workers may end after exit begins
  return *mutex;
}

const QString suffix = QStringLiteral(".json");

// Ids are made here, and a page hands them back: nothing else names a file.
bool isId(const QString &id) {
  static const QRegularExpression pattern(QStringLiteral("^[0-9]{8}-[0-9]{9}-[0-9]+$"));
  return pattern.match(id).hasMatch();
}

bool write(const QString &path, const QJsonObject &record, bool fresh) {
  if (!PrivateFiles::makeFolder(CleaningRecords::folder()) || (fresh && QFile::exists(path)))
    return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return false;
  file.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
  return file.commit();
}

} // namespace

QString CleaningRecords::folder() {
  return QFileInfo(Log::defaultFolder()).path() + QStringLiteral("/cleanings");
}

QString CleaningRecords::add(const QJsonObject &record) {
  const std::lock_guard<std::mutex> lock(storeMutex());
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
  for (int n = 1; n < 1000; ++n) {
    const QString id = stamp + QLatin1Char('-') + QString::number(n);
    if (!write(folder() + QLatin1Char('/') + id + suffix, record, true))
      continue;
    QStringList names =
        QDir(folder()).entryList({QLatin1Char('*') + suffix}, QDir::Files, QDir::Name);
    while (names.size() > kept)
      QFile::remove(folder() + QLatin1Char('/') + names.takeFirst());
    return id;
  }
  return QString();
}

bool CleaningRecords::read(const QString &id, QJsonObject &record) {
  const std::lock_guard<std::mutex> lock(storeMutex());
  QFile file(folder() + QLatin1Char('/') + id + suffix);
  if (!isId(id) || !file.open(QIODevice::ReadOnly))
    return false;
  record = QJsonDocument::fromJson(file.readAll()).object();
  return !record.isEmpty();
}

bool CleaningRecords::replace(const QString &id, const QJsonObject &record) {
  const std::lock_guard<std::mutex> lock(storeMutex());
  return isId(id) && write(folder() + QLatin1Char('/') + id + suffix, record, false);
}

bool CleaningRecords::clear() {
  const std::lock_guard<std::mutex> lock(storeMutex());
  bool cleared = true;
  const QDir records(folder());
  for (const QString &name : records.entryList({QLatin1Char('*') + suffix}, QDir::Files))
    cleared = QFile::remove(records.filePath(name)) && cleared;
  return cleared;
}

QString CleaningRecords::encodedPath(const QByteArray &path) {
  return QString::fromLatin1(Trash::encodedPath(path));
}

QByteArray CleaningRecords::decodedPath(const QString &stored) {
  return QByteArray::fromPercentEncoding(stored.toLatin1());
}

QString CleaningRecords::fileText(const FileId &file) {
  return QStringLiteral("%1:%2").arg(file.device).arg(file.inode);
}

FileId CleaningRecords::fileOf(const QString &text) {
  const QStringList parts = text.split(QLatin1Char(':'));
  return parts.size() == 2 ? FileId{parts[0].toULongLong(), parts[1].toULongLong()} : FileId();
}
