#include "online/UpdateDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "online/IdentityEncoding.h"
#include "platform/storage/PartialFiles.h"
#include "platform/storage/TrustedFolder.h"

namespace {

const QString diskFull = QStringLiteral("the disk is full");

QString saveFailed(const QString &reason) {
  return QStringLiteral("save file failed: %1").arg(reason);
}

// The announced length, -1 without one.
qint64 announcedLength(const QNetworkReply &reply) {
  const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
  return length.isValid() ? length.toLongLong() : -1;
}

} // namespace

UpdateDownload::UpdateDownload(QNetworkReply *reply, QString savePath, ScriptCallback callback,
                               int stallLimitMs, SavedHandler saved, QObject *parent)
    : QObject(parent), reply_(reply), savePath_(std::move(savePath)),
      callback_(std::move(callback)), saved_(std::move(saved)) {
  reply_->setParent(this);
  // Any sign of life from the server restarts the clock.
  stall_.setSingleShot(true);
  stall_.setInterval(stallLimitMs);
  connect(&stall_, &QTimer::timeout, this, [this, stallLimitMs] {
    fail(QStringLiteral("download stalled: nothing received for %1 s").arg(stallLimitMs / 1000.0));
  });
  connect(reply_, &QNetworkReply::metaDataChanged, &stall_, qOverload<>(&QTimer::start));
  connect(reply_, &QNetworkReply::readyRead, &stall_, qOverload<>(&QTimer::start));
  stall_.start();
  connect(reply_, &QNetworkReply::readyRead, this, &UpdateDownload::receive);
  connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
    if (ended_)
      return; // an abort reports progress after the end
    // Without a length the total stays unknown, also in the last message.
    if (!reply_->header(QNetworkRequest::ContentLengthHeader).isValid())
      total = -1;
    callback_(CallbackEvent()
                  .symbol(QStringLiteral("type"), QStringLiteral("progress"))
                  .bytes(QStringLiteral("received"), received)
                  .bytes(QStringLiteral("total"), total));
  });
  connect(reply_, &QNetworkReply::finished, this, &UpdateDownload::finish);
}

UpdateDownload::~UpdateDownload() {
  cancel();
}

void UpdateDownload::cancel() {
  if (ended_)
    return;
  ended_ = true;
  stall_.stop();
  reply_->disconnect(this);
  reply_->abort();
  discardTemporary();
}

void UpdateDownload::fail(const QString &message) {
  if (failure_.isEmpty())
    failure_ = message;
  reply_->abort();
}

void UpdateDownload::receive() {
  if (!reply_->isReadable())
    return;
  const QByteArray data = reply_->readAll();
  // Only the body of a complete answer is the file; any other is discarded.
  if (!failure_.isEmpty() ||
      reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
    return;
  const QString refusal = IdentityEncoding::refusal(*reply_);
  if (!refusal.isEmpty()) {
    fail(refusal);
    return;
  }
  if (!file_.isOpen() && (!openTemporary() || !hasRoomFor(announcedLength(*reply_))))
    return;
  if (file_.write(data) != data.size() || !file_.flush()) {
    fail(saveFailed(writeError()));
    return;
  }
  sha256_.addData(data);
  written_ += data.size();
}

// An announced length the disk cannot hold fails before the first byte is
// written, rather than when the disk is full.
bool UpdateDownload::hasRoomFor(qint64 length) {
  struct statvfs volume {};
  if (length < 0 || fstatvfs(file_.handle(), &volume) != 0 ||
      quint64(length) <= quint64(volume.f_bavail) * volume.f_frsize)
    return true;
  fail(saveFailed(diskFull));
  return false;
}

QString UpdateDownload::writeError() const {
  // Qt leaves its error text unset when the disk is full.
  struct statvfs volume {};
  if (fstatvfs(file_.handle(), &volume) == 0 && volume.f_bavail == 0)
    return diskFull;
  return file_.errorString();
}

void UpdateDownload::finish() {
  if (ended_)
    return;
  receive(); // whatever arrived with the end
  if (ended_)
    return; // a failure in receive() ended it already
  stall_.stop();
  const CallbackEvent message = outcome();
  ended_ = true;
  discardTemporary();
  callback_(message);
  deleteLater();
}

CallbackEvent UpdateDownload::outcome() {
  const auto error = [](const QString &text) {
    return CallbackEvent()
        .symbol(QStringLiteral("type"), QStringLiteral("error"))
        .text(QStringLiteral("error"), text);
  };
  if (!failure_.isEmpty())
    return error(failure_);
  if (reply_->error() != QNetworkReply::NoError)
    return error(reply_->errorString());
  const int status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status != 200) {
    return error(
        QStringLiteral("Error transferring %1 - server replied: %2 %3")
            .arg(reply_->url().toString(), QString::number(status),
                 reply_->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
  }
  const QString refusal = IdentityEncoding::refusal(*reply_);
  if (!refusal.isEmpty())
    return error(refusal);
  if (!file_.isOpen() && !openTemporary())
    return error(failure_);
  if (!file_.flush()) {
    return error(saveFailed(writeError()));
  }
  // A body cut short by a closed connection is not the file.
  const qint64 length = announcedLength(*reply_);
  if (length >= 0 && length != written_) {
    return error(
        QStringLiteral("download incomplete: received %1 of %2 bytes").arg(written_).arg(length));
  }
  // From here on the file is read only through this descriptor.
  SavedDownload saved{
      UniqueFd(::open(QStringLiteral("/proc/self/fd/%1").arg(file_.handle()).toLatin1().constData(),
                      O_RDONLY | O_CLOEXEC)),
      sha256_.result()};
  if (!saved.file.isValid())
    return error(saveFailed(qt_error_string(errno)));
  QString failure;
  const QString path = moveIntoPlace(failure);
  // Closed only once it has its name: until then its lock marks it as in use.
  file_.close();
  if (path.isEmpty())
    return error(saveFailed(failure));
  saved_(path, std::move(saved));
  return CallbackEvent()
      .symbol(QStringLiteral("type"), QStringLiteral("done"))
      .text(QStringLiteral("path"), path);
}

bool UpdateDownload::openTemporary() {
  const QFileInfo target(savePath_);
  QString refusal;
  folder_ = TrustedFolder::openOrMake(target.absolutePath(), refusal);
  if (!folder_.isValid()) {
    fail(saveFailed(refusal));
    return false;
  }
  PartialFiles::removeStale(folder_.get());
  // A hidden name of our own that nothing else uses (created exclusively,
  // never through a link), so a failed download never leaves the target
  // half written.
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
    partName_ = PartialFiles::nameFor(QFile::encodeName(target.fileName()));
    fd = ::openat(folder_.get(), partName_.constData(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0 && errno != EEXIST)
      break;
  }
  if (fd < 0) {
    partName_.clear(); // not ours
    fail(saveFailed(qt_error_string(errno)));
    return false;
  }
  file_.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
  // Locked while it is written: a partial file no one holds was left by a
  // download that was killed. Executable, as the installer it is.
  if (!PartialFiles::markInUse(fd) || ::fchmod(fd, 0700) != 0) {
    fail(saveFailed(qt_error_string(errno)));
    discardTemporary();
    return false;
  }
  return true;
}

QString UpdateDownload::moveIntoPlace(QString &error) {
  QString candidate = savePath_;
  for (int i = 0;;) {
    // rename replaces a file that is there (a link itself, never its
    // target) and fails on a folder.
    if (::renameat(folder_.get(), partName_.constData(), folder_.get(),
                   QFile::encodeName(QFileInfo(candidate).fileName()).constData()) == 0) {
      partName_.clear();
      return candidate;
    }
    error = qt_error_string(errno);
    if (++i > maximumAlternatives)
      return QString();
    const QFileInfo info(candidate);
    candidate = info.dir().filePath(
        QStringLiteral("%1_%2.%3").arg(info.completeBaseName(), QString::number(i), info.suffix()));
  }
}

void UpdateDownload::discardTemporary() {
  file_.close();
  if (!partName_.isEmpty())
    ::unlinkat(folder_.get(), partName_.constData(), 0);
  partName_.clear();
}
