#pragma once
// One running download: the reply, the temporary file its body streams into
// and the script's callback. It deletes itself after its final message.
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include "base/CallbackEvent.h"

class QNetworkReply;

class UpdateDownload : public QObject {
public:
  // At most this many alternative names when the target cannot be replaced.
  static constexpr int maximumAlternatives = 20;

  // stallLimitMs: the download fails when the server sends nothing for this long.
  UpdateDownload(QNetworkReply *reply, QString savePath, ScriptCallback callback, int stallLimitMs,
                 QObject *parent);
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
  QTimer stall_;
  QFile file_;
  qint64 written_ = 0;
  QString failure_;
  bool ended_ = false;
};
