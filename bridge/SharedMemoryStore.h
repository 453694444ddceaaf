#pragma once
// Named values that one program of the product sets and another running
// program reads: each key is one shared-memory segment holding the data
// stream of the JSON text {key: value}. A writer keeps its segment attached
// while it lives; a reader attaches only to read.
#include <QList>
#include <QString>
#include <memory>

#include "bridge/SharedMemorySegment.h"

class SharedMemoryStore {
public:
  bool setValue(const QString &key, const QString &value);
  // The value another program set, or "" (also when this store set it: its
  // own segment is still attached).
  QString value(const QString &key);

  // "QSharedMemory_For_Tidewell_" and the key.
  static QString segmentName(const QString &key);
  static QByteArray serialise(const QString &key, const QString &value);
  static QString deserialise(const QByteArray &bytes, const QString &key);

private:
  std::shared_ptr<SharedMemorySegment> segment(const QString &key);

  QList<std::shared_ptr<SharedMemorySegment>> segments;
};
