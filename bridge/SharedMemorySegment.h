#pragma once
// One named System V shared-memory segment of this user, found by every
// process that uses the same name.
//
// The System V key comes from a key file in the user's runtime folder, not
// the temporary folder that cleaners empty. Every change of the segment
// happens under an advisory lock on that key file, which the kernel drops
// when its holder dies, so a killed process never leaves the name locked.
// A segment that nobody holds any more (its writer was killed) is stale: it
// is removed, never read or reused at its old size. The last process to
// detach removes the segment, so nothing stays behind after normal exits.
#include <QByteArray>
#include <QSharedMemory>
#include <QString>

class SharedMemorySegment {
public:
  // Where a writer's bytes went.
  enum class Placement { Created, Reused, Replaced, ReclaimedStale };

  explicit SharedMemorySegment(QString name);
  ~SharedMemorySegment();
  SharedMemorySegment(const SharedMemorySegment &) = delete;
  SharedMemorySegment &operator=(const SharedMemorySegment &) = delete;

  const QString &name() const { return segmentName; }
  bool isAttached() const { return address != nullptr; }

  // Puts bytes into the segment and stays attached to it, so the value lives
  // as long as this object. A segment of another holder that is too small is
  // replaced by one of the right size (its holder keeps its old copy); one
  // that fits is written in place.
  bool publish(const QByteArray &bytes, Placement *placement = nullptr);
  // The whole content of the segment another holder published; attaches only
  // while it copies. Fails when this object is attached itself, as a
  // segment is read by those who did not write it.
  bool read(QByteArray *bytes);
  void detach();

  QSharedMemory::SharedMemoryError error() const { return lastError; }
  const QString &errorString() const { return lastErrorText; }

  // The folder of the key files: $XDG_RUNTIME_DIR/Tidewell/shm, or the
  // user's cache folder where there is no runtime folder.
  static QString keyFolder();
  // The key file of a name; the name is hashed, so any text is safe.
  static QString keyFile(const QString &name);

private:
  class KeyLock;
  bool fail(QSharedMemory::SharedMemoryError error, const QString &text);
  bool failFromErrno(const QString &operation);
  bool attachTo(int id, bool readOnly);
  void detachLocked();

  const QString segmentName;
  int segmentId = -1;
  void *address = nullptr;
  size_t segmentSize = 0;
  QSharedMemory::SharedMemoryError lastError = QSharedMemory::NoError;
  QString lastErrorText;
};
