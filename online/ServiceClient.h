#pragma once
// The calls page scripts make to the web service: three reads whose answers
// go back unchanged, and two writes that carry the client identifier and
// the program's version.
#include <QString>
#include <functional>

class HttpClient;

class ServiceClient {
public:
  static constexpr int timeoutMs = 3000;

  // Defaults: the process-wide client, the current service origin and this
  // process's client identifier.
  ServiceClient();
  ServiceClient(HttpClient &http, QString origin, std::function<QString()> clientId);

  QString checkUpdate();
  QString getVersionList();
  QString getAppInfo();
  // False for every failure and for an answer that is an object with "error".
  bool submitFeedback(const QString &feedback);
  // Always true: the request is sent and forgotten.
  bool reportEvent(const QString &event);

private:
  HttpClient &http();
  QString url(const char *path) const;
  // The script's object (empty when the text is not one) with "client_id"
  // and "app_version" set, as compact JSON.
  QByteArray augmented(const QString &json) const;

  HttpClient *http_ = nullptr;
  QString origin_;
  std::function<QString()> clientId_;
};
