#pragma once
// Serves this:// for one top-level window and its modal windows. Each
// request goes to the host callback first (load-data notification); the
// host answers with SciterDataReady, discard, or nothing (not found here).
// The runtime's own modules under /@tidewell/ are the engine's.
#include "engine/include/tidewell/engine-api.h"

#include <QByteArray>
#include <QMultiHash>
#include <QPointer>
#include <QWebEngineUrlSchemeHandler>

class EngineWindow;
class QWebEngineUrlRequestJob;

class SchemeHandler : public QWebEngineUrlSchemeHandler {
public:
  SchemeHandler(EngineWindow *root, QObject *parent);
  ~SchemeHandler() override;
  void requestStarted(QWebEngineUrlRequestJob *job) override;

  // The bytes of a this:// resource, asked of the host the same way.
  static bool fetch(EngineWindow *window, const QUrl &url, QByteArray *data);
  // SciterDataReady: fills the request being answered, or a delayed one
  // (from any thread).
  static bool dataReady(const QString &uri, const uint8_t *data, UINT size);

private:
  enum class Answer { Data, Missing, Delayed };
  static Answer ask(EngineWindow *window, const QString &uri, QByteArray *data);
  static bool deliverDelayed(const QString &uri, const QByteArray &bytes);
  void reply(QWebEngineUrlRequestJob *job, QByteArray data);

  QPointer<EngineWindow> root;
  QMultiHash<QString, QPointer<QWebEngineUrlRequestJob>> delayed;
};
