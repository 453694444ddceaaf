#pragma once
// Downloads update packages for page scripts: each download streams its body
// into a temporary file beside the target and moves it into place only once
// the whole body arrived, reporting progress and then exactly one "done" or
// "error" to the script's callback.
#include <QList>
#include <QPointer>
#include <QString>
#include <memory>

#include "base/CallbackEvent.h"

class QNetworkAccessManager;
class UpdateDownload;

class UpdateDownloader {
public:
  static constexpr int defaultStallLimitMs = 60000;

  // stallLimitMs: a download whose server sends nothing for this long ends
  // with an error.
  explicit UpdateDownloader(int stallLimitMs = defaultStallLimitMs);
  // Cancels the downloads still running, silently, leaving no partial file.
  ~UpdateDownloader();
  UpdateDownloader(const UpdateDownloader &) = delete;
  UpdateDownloader &operator=(const UpdateDownloader &) = delete;

  // Always "started"; everything else reaches the callback.
  QString downloadUpdate(const QString &url, const QString &savePath, ScriptCallback callback);

private:
  std::unique_ptr<QNetworkAccessManager> manager_;
  QList<QPointer<UpdateDownload>> downloads_;
  const int stallLimitMs_;
};
