#include "online/UpdateDownloader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "base/catalogue/Constants.h"
#include "online/EnvironmentProxies.h"
#include "online/HttpClient.h"
#include "online/IdentityEncoding.h"
#include "online/UpdateDownload.h"
#include "online/UpdatePackage.h"

namespace {

// Bounds what waits in memory between the socket and the file.
constexpr qint64 readBufferBytes = 1 << 20;

QByteArray sha256Of(int fd) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(fd, buffer.data(), size_t(buffer.size()), offset);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return QByteArray();
    if (got == 0)
      return hash.result();
    hash.addData(buffer.constData(), int(got));
    offset += got;
  }
}

} // namespace

UpdateDownloader::UpdateDownloader(int stallLimitMs) : stallLimitMs_(stallLimitMs) {}

UpdateDownloader::~UpdateDownloader() {
  for (const QPointer<UpdateDownload> &download : qAsConst(downloads_))
    if (download)
      download->cancel();
}

QString UpdateDownloader::downloadUpdate(const QString &url, const QString &savePath,
                                         ScriptCallback callback) {
  if (!manager_) {
    manager_ = std::make_unique<QNetworkAccessManager>();
    manager_->setProxyFactory(new EnvironmentProxies);
  }
  const QUrl target(url, QUrl::TolerantMode);
  const QString scheme = target.scheme().toLower();
  const auto failLater = [this, &callback](const QString &error) {
    QTimer::singleShot(0, manager_.get(), [callback, error] {
      callback(CallbackEvent()
                   .symbol(QStringLiteral("type"), QStringLiteral("error"))
                   .text(QStringLiteral("error"), error));
    });
    return QStringLiteral("started");
  };
  // Only the web: a page must not copy local files by way of a file: URL.
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
    return failLater(QStringLiteral("Protocol \"%1\" is unknown").arg(scheme));
  if (savePath.isEmpty())
    return failLater(QStringLiteral("save file failed: No file name specified"));
  const QString saveTo = QDir::isAbsolutePath(savePath)
                             ? savePath
                             : QDir::cleanPath(ownFolder() + QLatin1Char('/') + savePath);
  QNetworkRequest request(target);
  request.setRawHeader("User-Agent",
                       QStringLiteral("%1/%2")
                           .arg(Constants::applicationName(), Constants::nativeVersion())
                           .toUtf8());
  // The file as it is, so its length can be checked against the announced one.
  IdentityEncoding::ask(request);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setMaximumRedirectsAllowed(HttpClient::maximumRedirects);
  QNetworkReply *reply = manager_->get(request);
  reply->setReadBufferSize(readBufferBytes);
  // Finished downloads delete themselves; only the running ones are kept.
  downloads_.removeAll(nullptr);
  downloads_.append(new UpdateDownload(
      reply, saveTo, std::move(callback), stallLimitMs_,
      [this](const QString &path, SavedDownload saved) { saved_[path] = std::move(saved); },
      manager_.get()));
  return QStringLiteral("started");
}

QString UpdateDownloader::ownFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
         QStringLiteral("/Tidewell");
}

QString UpdateDownloader::programToStart(const QString &program) {
  if (saved_.find(program) == saved_.end())
    return program;
  const int fd = unchangedDownload(program);
  return fd < 0 ? QString() : QStringLiteral("/proc/self/fd/%1").arg(fd);
}

QString UpdateDownloader::installUpdate(const QString &package) {
  const int fd = unchangedDownload(package);
  if (fd < 0)
    return QStringLiteral("not a verified download of this session: %1").arg(package);
  QString error;
  const QString folder = UpdatePackage::unpack(fd, QFileInfo(package).absolutePath(), error);
  if (folder.isEmpty())
    return error;
  if (!UpdatePackage::startInstaller(folder, QCoreApplication::applicationPid()))
    return QStringLiteral("the installer of the update did not start");
  return QString();
}

int UpdateDownloader::unchangedDownload(const QString &path) {
  const auto found = saved_.find(path);
  if (found == saved_.end())
    return -1;
  const int fd = found->second.file.get();
  struct stat named, held;
  if (::lstat(QFile::encodeName(found->first).constData(), &named) != 0 ||
      ::fstat(fd, &held) != 0 || !(FileId::of(named) == FileId::of(held)) ||
      sha256Of(fd) != found->second.sha256) {
    saved_.erase(found); // changed since: never used
    return -1;
  }
  return fd;
}
