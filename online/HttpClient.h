#pragma once
// The one channel through which the program talks JSON to its web service.
// Every answer is a string a page script can use: the response body, or a
// JSON object with the single key "error". Requests wait in a nested event
// loop on the calling thread, which keeps processing its other events.
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

#include "platform/os/Connectivity.h"

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

class HttpClient : public QObject {
public:
  // The process-wide client, created on first use on the calling thread and
  // deleted with the application object.
  static HttpClient &instance();

  explicit HttpClient(std::shared_ptr<Connectivity> connectivity, QObject *parent = nullptr);

  QString get(const QString &url, int timeoutMs);
  QString post(const QString &url, const QString &body, int timeoutMs);
  // Sends and forgets; sends nothing at all when offline or unreachable.
  void postAsync(const QString &url, const QString &body);

  static bool isLocalUrl(const QUrl &url);
  bool isInternetConnected() const;
  // Whether the server (or the proxy that the request would go through)
  // accepts a TCP connection within the time limit. Schemes other than http
  // and https are not tested.
  bool isServerReachable(const QUrl &url, int timeoutMs) const;

  static constexpr int reachabilityTimeoutMs = 500;
  static constexpr int maximumRedirects = 5;
  // Far above any answer of the service; a larger one is refused with
  // {"error":"response too large"}.
  static constexpr qint64 maximumBodyBytes = 4 << 20;

private:
  enum class Method { Get, Post };

  // An error text when the request must not be made; empty when it may.
  QString refusal(const QUrl &url) const;
  QString send(Method method, const QString &url, const QString &body, int timeoutMs);
  QNetworkReply *start(Method method, const QUrl &url, const QString &body);
  void applyHeaders(QNetworkRequest &request) const;
  QString waitForReply(QNetworkReply *reply, int timeoutMs);

  std::shared_ptr<Connectivity> connectivity_;
  QNetworkAccessManager *manager_;
};
