#pragma once
// One running download: the reply, the temporary file its body streams into
// and the script's callback. It deletes itself after its final message.
//
// The file is one to be run: it is made only in a folder that no one but us
// (and root) can change, created there exclusively (mode 0700), and handed
// on at the end as a read-only descriptor with the digest of what was
// written, so that what runs is what was downloaded.
#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

#include "base/CallbackEvent.h"
#include "platform/storage/FileWalker.h"

class QNetworkReply;

// A finished download as it was written.
struct SavedDownload {
  UniqueFd file; // read-only
  QByteArray sha256;
};

class UpdateDownload : public QObject {
public:
  // At most this many alternative names when the target cannot be replaced.
  static constexpr int maximumAlternatives = 20;
  using SavedHandler = std::function<void(const QString &path, SavedDownload saved)>;

  // stallLimitMs: the download fails when the server sends nothing for this
  // long. saved: told of the file before the "done" message.
  UpdateDownload(QNetworkReply *reply, QString savePath, ScriptCallback callback, int stallLimitMs,
                 SavedHandler saved, QObject *parent);
  ~UpdateDownload() override;

  // Ends the download without a message and removes what it wrote.
  void cancel();

private:
  void receive();
  void finish();
  // The message that ends the download, and the path on success.
  CallbackEvent outcome();
  bool openTemporary();
  // Renames the finished file to the target or an alternative name.
  QString moveIntoPlace(QString &error);
  void fail(const QString &message);
  bool hasRoomFor(qint64 length);
  // Why the temporary file could not be written.
  QString writeError() const;
  void discardTemporary();

  QNetworkReply *reply_;
  const QString savePath_;
  ScriptCallback callback_;
  SavedHandler saved_;
  QTimer stall_;
  UniqueFd folder_;     // where the file goes
  QByteArray partName_; // the temporary file in it, while it is ours to remove
  QFile file_;
  QCryptographicHash sha256_{QCryptographicHash::Sha256};
  qint64 written_ = 0;
  QString failure_;
  bool ended_ = false;
};
