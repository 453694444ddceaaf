#include "bridge/SharedMemorySegment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/files/PrivateFiles.h"

namespace {

const int keyProject = 'T';

QSharedMemory::SharedMemoryError errorOf(int number) {
  switch (number) {
  case EACCES:
  case EPERM:
    return QSharedMemory::PermissionDenied;
  case EINVAL:
    return QSharedMemory::InvalidSize;
  case ENOENT:
  case EIDRM:
    return QSharedMemory::NotFound;
  case EEXIST:
    return QSharedMemory::AlreadyExists;
  case ENOSPC:
  case ENOMEM:
  case EMFILE:
    return QSharedMemory::OutOfResources;
  default:
    return QSharedMemory::UnknownError;
  }
}

} // namespace

// The key file opened and locked for one operation; closing it drops the lock.
class SharedMemorySegment::KeyLock {
public:
  explicit KeyLock(const QString &name) {
    const QString folder = keyFolder();
    if (!QDir().mkpath(folder)) {
      errorNumber = errno ? errno : EACCES;
      return;
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = QFile::encodeName(keyFile(name));
    fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      errorNumber = errno;
      return;
    }
    int locked;
    do
      locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    struct stat status {};
    if (locked != 0 || ::fstat(fd, &status) != 0) {
      errorNumber = errno;
      release();
      return;
    }
    if (status.st_uid != ::geteuid()) {
      errorNumber = EPERM;
      release();
      return;
    }
    // The key ftok() gives for this file, from the file we hold open.
    systemKey = static_cast<key_t>((status.st_ino & 0xffff) | ((status.st_dev & 0xff) << 16) |
                                   (static_cast<unsigned>(keyProject & 0xff) << 24));
  }
  ~KeyLock() { release(); }
  KeyLock(const KeyLock &) = delete;
  KeyLock &operator=(const KeyLock &) = delete;

  bool held() const { return fd >= 0; }
  key_t key() const { return systemKey; }
  int error() const { return errorNumber; }

private:
  void release() {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }

  int fd = -1;
  key_t systemKey = IPC_PRIVATE;
  int errorNumber = 0;
};

SharedMemorySegment::SharedMemorySegment(QString name) : segmentName(std::move(name)) {}

SharedMemorySegment::~SharedMemorySegment() {
  detach();
}

QString SharedMemorySegment::keyFolder() {
  return PrivateFiles::runtimeFolder() + QStringLiteral("/shm");
}

QString SharedMemorySegment::keyFile(const QString &name) {
  const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1);
  return keyFolder() + QStringLiteral("/qipc_sharedmemory_") + QString::fromLatin1(hash.toHex());
}

bool SharedMemorySegment::fail(QSharedMemory::SharedMemoryError error, const QString &text) {
  lastError = error;
  lastErrorText = text;
  return false;
}

bool SharedMemorySegment::failFromErrno(const QString &operation) {
  const int number = errno;
  return fail(errorOf(number),
              operation + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(number)));
}

bool SharedMemorySegment::attachTo(int id, bool readOnly) {
  struct shmid_ds info {};
  if (::shmctl(id, IPC_STAT, &info) != 0)
    return failFromErrno(QStringLiteral("stat segment"));
  void *mapped = ::shmat(id, nullptr, readOnly ? SHM_RDONLY : 0);
  if (mapped == reinterpret_cast<void *>(-1))
    return failFromErrno(QStringLiteral("attach"));
  address = mapped;
  segmentId = id;
  segmentSize = info.shm_segsz;
  return true;
}

void SharedMemorySegment::detachLocked() {
  if (!address)
    return;
  ::shmdt(address);
  address = nullptr;
  // The last holder takes the segment away with it.
  struct shmid_ds info {};
  if (::shmctl(segmentId, IPC_STAT, &info) == 0 && info.shm_nattch == 0)
    ::shmctl(segmentId, IPC_RMID, nullptr);
  segmentId = -1;
  segmentSize = 0;
}

void SharedMemorySegment::detach() {
  if (!address)
    return;
  KeyLock lock(segmentName);
  detachLocked();
}

bool SharedMemorySegment::publish(const QByteArray &bytes, Placement *placement) {
  lastError = QSharedMemory::NoError;
  lastErrorText.clear();
  if (bytes.isEmpty())
    return fail(QSharedMemory::InvalidSize, QStringLiteral("nothing to store"));
  KeyLock lock(segmentName);
  if (!lock.held()) {
    errno = lock.error();
    return failFromErrno(QStringLiteral("key file ") + keyFile(segmentName));
  }
  detachLocked();

  const auto size = static_cast<size_t>(bytes.size());
  Placement how = Placement::Created;
  int id = ::shmget(lock.key(), size, IPC_CREAT | IPC_EXCL | 0600);
  if (id < 0 && errno == EEXIST) {
    const int existing = ::shmget(lock.key(), 0, 0);
    struct shmid_ds info {};
    if (existing < 0 || ::shmctl(existing, IPC_STAT, &info) != 0)
      return failFromErrno(QStringLiteral("open existing segment"));
    if (info.shm_perm.uid != ::geteuid())
      return fail(QSharedMemory::PermissionDenied,
                  QStringLiteral("the segment belongs to another user"));
    if (info.shm_nattch > 0 && info.shm_segsz >= size) {
      id = existing;
      how = Placement::Reused;
    } else {
      // Nobody holds it (its writer died), or it is too small for the value:
      // it goes, and readers meet the new one under the same key.
      if (::shmctl(existing, IPC_RMID, nullptr) != 0)
        return failFromErrno(QStringLiteral("remove existing segment"));
      how = info.shm_nattch == 0 ? Placement::ReclaimedStale : Placement::Replaced;
      id = ::shmget(lock.key(), size, IPC_CREAT | IPC_EXCL | 0600);
    }
  }
  if (id < 0)
    return failFromErrno(QStringLiteral("create"));
  if (!attachTo(id, false)) {
    if (how != Placement::Reused)
      ::shmctl(id, IPC_RMID, nullptr);
    return false;
  }
  std::memcpy(address, bytes.constData(), size);
  if (segmentSize > size)
    std::memset(static_cast<char *>(address) + size, 0, segmentSize - size);
  if (placement)
    *placement = how;
  return true;
}

bool SharedMemorySegment::read(QByteArray *bytes) {
  lastError = QSharedMemory::NoError;
  lastErrorText.clear();
  if (address)
    return fail(QSharedMemory::AlreadyExists, QStringLiteral("already attached"));
  KeyLock lock(segmentName);
  if (!lock.held()) {
    errno = lock.error();
    return failFromErrno(QStringLiteral("key file ") + keyFile(segmentName));
  }
  const int id = ::shmget(lock.key(), 0, 0);
  struct shmid_ds info {};
  if (id < 0 || ::shmctl(id, IPC_STAT, &info) != 0)
    return failFromErrno(QStringLiteral("open segment"));
  if (info.shm_perm.uid != ::geteuid())
    return fail(QSharedMemory::PermissionDenied,
                QStringLiteral("the segment belongs to another user"));
  if (info.shm_nattch == 0) {
    ::shmctl(id, IPC_RMID, nullptr);
    return fail(QSharedMemory::NotFound,
                QStringLiteral("the segment's writer has ended; removed what it left"));
  }
  if (!attachTo(id, true))
    return false;
  *bytes = QByteArray(static_cast<const char *>(address), static_cast<int>(segmentSize));
  detachLocked();
  return true;
}
