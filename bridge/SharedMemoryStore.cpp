#include "bridge/SharedMemoryStore.h"

#include <QBuffer>
#include <QDataStream>
#include <QJsonDocument>
#include <QJsonObject>

#include "base/catalogue/Constants.h"
#include "base/log/Log.h"

QString SharedMemoryStore::segmentName(const QString &key) {
  return QStringLiteral("QSharedMemory_For_") + Constants::applicationName() + '_' + key;
}

QByteArray SharedMemoryStore::serialise(const QString &key, const QString &value) {
  const QString text = QString::fromUtf8(QJsonDocument(QJsonObject{{key, value}}).toJson());
  QBuffer buffer;
  buffer.open(QBuffer::ReadWrite);
  QDataStream out(&buffer);
  out << text;
  return buffer.data();
}

QString SharedMemoryStore::deserialise(const QByteArray &bytes, const QString &key) {
  QDataStream in(bytes);
  QString text;
  in >> text;
  if (in.status() != QDataStream::Ok)
    return {};
  return QJsonDocument::fromJson(text.toUtf8()).object().value(key).toString();
}

std::shared_ptr<SharedMemorySegment> SharedMemoryStore::segment(const QString &key) {
  const QString name = segmentName(key);
  for (const auto &existing : segments)
    if (existing->name() == name)
      return existing;
  auto created = std::make_shared<SharedMemorySegment>(name);
  segments.append(created);
  return created;
}

bool SharedMemoryStore::setValue(const QString &key, const QString &value) {
  Log::info("SharedMemory", "try to set shared memory data. key: {}. value: {}", key.toStdString(),
            value.toStdString());
  const std::shared_ptr<SharedMemorySegment> memory = segment(key);
  memory->detach();
  SharedMemorySegment::Placement placement;
  if (!memory->publish(serialise(key, value), &placement)) {
    Log::info("SharedMemory", "failed to create shared memory. error: {}--{}. key: {}. value: {}",
              static_cast<int>(memory->error()), memory->errorString().toStdString(),
              key.toStdString(), value.toStdString());
    return false;
  }
  if (placement == SharedMemorySegment::Placement::ReclaimedStale)
    Log::info("SharedMemory", "reclaimed the segment an ended process left. key: {}",
              key.toStdString());
  else if (placement == SharedMemorySegment::Placement::Replaced)
    Log::info("SharedMemory", "replaced a smaller segment another process holds. key: {}",
              key.toStdString());
  return true;
}

QString SharedMemoryStore::value(const QString &key) {
  const std::shared_ptr<SharedMemorySegment> memory = segment(key);
  QByteArray bytes;
  if (!memory->read(&bytes))
    return {};
  return deserialise(bytes, key);
}
