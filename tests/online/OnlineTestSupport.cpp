#include "tests/online/OnlineTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QUrl>

TestService::TestService() {
  process_.setProgram(QStringLiteral("python3"));
  process_.setArguments({QStringLiteral(TW_TEST_SERVICE), QStringLiteral("--exit-with-stdin")});
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start();
  if (!process_.waitForStarted(10000))
    return;
  QByteArray line;
  while (!line.endsWith('\n') && process_.waitForReadyRead(15000))
    line += process_.readLine();
  const int at = line.indexOf("http://");
  if (at >= 0)
    origin_ = QString::fromLatin1(line.mid(at).trimmed());
}

TestService::~TestService() {
  process_.closeWriteChannel();
  process_.kill();
  process_.waitForFinished(5000);
}

quint16 TestService::port() const {
  return quint16(QUrl(origin_).port());
}

QByteArray TestService::control(const QString &path, const QByteArray &body) const {
  QNetworkAccessManager manager;
  manager.setProxy(QNetworkProxy::NoProxy);
  QNetworkRequest request(QUrl(url(path)));
  request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
  QNetworkReply *reply = body.isNull() ? manager.get(request) : manager.post(request, body);
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished())
    loop.exec();
  const QByteArray content = reply->readAll();
  delete reply;
  return content;
}

QJsonArray TestService::requests() const {
  return QJsonDocument::fromJson(control(QStringLiteral("/_control/requests"))).array();
}

QJsonArray TestService::requestsTo(const QString &path) const {
  QJsonArray matching;
  for (const QJsonValue &request : requests()) {
    if (request[QStringLiteral("path")].toString() == path)
      matching.append(request);
  }
  return matching;
}

void TestService::rule(const QString &path, const QJsonObject &switches) const {
  QJsonObject body = switches;
  body.insert(QStringLiteral("path"), path);
  control(QStringLiteral("/_control/rule"), QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void TestService::reset() const {
  control(QStringLiteral("/_control/reset"), QByteArray(""));
}

QString TestService::sha256OfFile(qint64 size) const {
  return QJsonDocument::fromJson(control(QStringLiteral("/_control/sha256?size=%1").arg(size)))
      .object()
      .value(QStringLiteral("sha256"))
      .toString();
}

PrivateBus::PrivateBus() {
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
  if (!daemon_.waitForStarted(10000))
    return;
  QByteArray line;
  while (!line.endsWith('\n') && daemon_.waitForReadyRead(10000))
    line += daemon_.readLine();
  address_ = QString::fromLatin1(line.trimmed());
}

PrivateBus::~PrivateBus() {
  stopNetworkManager();
  daemon_.kill();
  daemon_.waitForFinished(5000);
}

bool PrivateBus::startNetworkManager(uint state) {
  stopNetworkManager();
  networkManager_.start(QStringLiteral(TW_FAKE_NETWORK_MANAGER),
                        {address_, QString::number(state)});
  return networkManager_.waitForStarted(10000) && networkManager_.waitForReadyRead(10000) &&
         networkManager_.readLine().trimmed() == "ready";
}

void PrivateBus::stopNetworkManager() {
  if (networkManager_.state() == QProcess::NotRunning)
    return;
  networkManager_.kill();
  networkManager_.waitForFinished(5000);
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs)
      return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

quint16 closedPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  const quint16 port = server.serverPort();
  server.close();
  return port;
}

ScopedEnv::ScopedEnv(const char *name, const QByteArray &value)
    : name_(name), old_(qgetenv(name)), wasSet_(qEnvironmentVariableIsSet(name)) {
  qputenv(name, value);
}

ScopedEnv::~ScopedEnv() {
  if (wasSet_)
    qputenv(name_, old_);
  else
    qunsetenv(name_);
}
