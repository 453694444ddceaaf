#include "online/UpdateDownload.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <sys/statvfs.h>

#include "online/IdentityEncoding.h"

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
                               int stallLimitMs, QObject *parent)
    : QObject(parent), reply_(reply), savePath_(std::move(savePath)),
      callback_(std::move(callback)) {
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
  file_.close();
  // A body cut short by a closed connection is not the file.
  const qint64 length = announcedLength(*reply_);
  if (length >= 0 && length != written_) {
    return error(
        QStringLiteral("download incomplete: received %1 of %2 bytes").arg(written_).arg(length));
  }
  QString failure;
  const QString path = moveIntoPlace(failure);
  if (path.isEmpty())
    return error(saveFailed(failure));
  return CallbackEvent()
      .symbol(QStringLiteral("type"), QStringLiteral("done"))
      .text(QStringLiteral("path"), path);
}

bool UpdateDownload::openTemporary() {
  const QFileInfo target(savePath_);
  QDir folder = target.absoluteDir();
  if (!folder.mkpath(QStringLiteral("."))) {
    fail(saveFailed(QStringLiteral("cannot create folder %1").arg(folder.path())));
    return false;
  }
  // A hidden name of our own that nothing else uses (created exclusively,
  // never through a link), so a failed download never leaves the target
  // half written.
  for (int attempt = 0; attempt < 16; ++attempt) {
    file_.setFileName(folder.filePath(
        QStringLiteral(".%1.%2.part")
            .arg(target.fileName(), QString::number(QRandomGenerator::global()->generate(), 16))));
    if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly))
      return true;
    if (!file_.exists())
      break;
  }
  fail(saveFailed(file_.errorString()));
  return false;
}

QString UpdateDownload::moveIntoPlace(QString &error) {
  const QByteArray temporary = QFile::encodeName(file_.fileName());
  QString candidate = savePath_;
  for (int i = 0;;) {
    // rename replaces a file that is there (a link itself, never its
    // target) and fails on a folder.
    if (std::rename(temporary.constData(), QFile::encodeName(candidate).constData()) == 0)
      return candidate;
    error = qt_error_string(errno);
    if (++i > maximumAlternatives)
      return QString();
    const QFileInfo info(candidate);
    candidate = info.dir().filePath(
        QStringLiteral("%1_%2.%3").arg(info.completeBaseName(), QString::number(i), info.suffix()));
  }
}

void UpdateDownload::discardTemporary() {
  if (file_.fileName().isEmpty())
    return;
  file_.close();
  if (file_.exists())
    file_.remove();
}
