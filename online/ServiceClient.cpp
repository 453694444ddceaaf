#include "online/ServiceClient.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "base/catalogue/Constants.h"
#include "online/ClientIdentity.h"
#include "online/HttpClient.h"
#include "online/ServiceOrigin.h"

ServiceClient::ServiceClient()
    : origin_(ServiceOrigin::current()), clientId_([] { return ClientIdentity::current(); }) {}

ServiceClient::ServiceClient(HttpClient &http, QString origin, std::function<QString()> clientId)
    : http_(&http), origin_(std::move(origin)), clientId_(std::move(clientId)) {}

// The process-wide client comes into being on the first call, on the
// thread that makes it.
HttpClient &ServiceClient::http() {
  return http_ ? *http_ : HttpClient::instance();
}

QString ServiceClient::url(const char *path) const {
  return origin_ + QLatin1String(path);
}

QString ServiceClient::checkUpdate() {
  return http().get(url("/api/versions/latest/"), timeoutMs);
}

QString ServiceClient::getVersionList() {
  return http().get(url("/api/versions/"), timeoutMs);
}

QString ServiceClient::getAppInfo() {
  return http().get(url("/api/info/"), timeoutMs);
}

bool ServiceClient::submitFeedback(const QString &feedback) {
  const QString answer =
      http().post(url("/api/feedback/"), QString::fromUtf8(augmented(feedback)), timeoutMs);
  return !QJsonDocument::fromJson(answer.toUtf8()).object().contains(QStringLiteral("error"));
}

bool ServiceClient::reportEvent(const QString &event) {
  http().postAsync(url("/api/events/"), QString::fromUtf8(augmented(event)));
  return true;
}

QByteArray ServiceClient::augmented(const QString &json) const {
  QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
  object.insert(QStringLiteral("client_id"), clientId_());
  object.insert(QStringLiteral("app_version"), Constants::nativeVersion());
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
