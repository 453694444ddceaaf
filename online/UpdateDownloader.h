#pragma once
// Downloads update packages for page scripts: each download streams its body
// into a temporary file beside the target and moves it into place only once
// the whole body arrived, reporting progress and then exactly one "done" or
// "error" to the script's callback.
//
// What it saved is meant to be run, so it saves only into folders that no
// other user can change (a relative save path goes into the user's own
// cache folder), and a saved file is started only through the descriptor it
// was written by, while its content is still what was downloaded.
#include <QList>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>

#include "base/CallbackEvent.h"
#include "online/UpdateDownload.h"

class QNetworkAccessManager;

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

  // Where relative save paths lead: $XDG_CACHE_HOME/Tidewell.
  static QString ownFolder();

  // The path to start program by. For a file saved here, the descriptor
  // held since it was written ("/proc/self/fd/N"), and only while its name
  // still leads to that file and it holds what was downloaded; empty when it
  // changed. Any other program as it is.
  QString programToStart(const QString &program);

  // Installs an update package saved here (see UpdatePackage) once this
  // process has ended: unpacks it beside itself, from the descriptor held
  // since it was written and only while it is unchanged, and starts its
  // installer. Empty when started, else why not.
  QString installUpdate(const QString &package);

private:
  // The descriptor of a file saved here whose name still leads to it and
  // which still holds what was downloaded; -1 (and forgotten) otherwise.
  int unchangedDownload(const QString &path);

  std::map<QString, SavedDownload> saved_;
  std::unique_ptr<QNetworkAccessManager> manager_;
  QList<QPointer<UpdateDownload>> downloads_;
  const int stallLimitMs_;
};
