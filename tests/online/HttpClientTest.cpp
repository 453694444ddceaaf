#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSysInfo>

#include "online/HttpClient.h"
#include "online/ServiceClient.h"
#include "online/ServiceOrigin.h"
#include "tests/online/OnlineTestSupport.h"

namespace {

QJsonObject parsedObject(const QString &text) {
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

class HttpClientTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(service.isRunning()) << "the test service did not start"; }

  std::shared_ptr<FixedConnectivity> connectivity = std::make_shared<FixedConnectivity>(true);
  HttpClient client{connectivity};
  TestService service;
};

TEST_F(HttpClientTest, ReadsReturnTheBodyUnchangedWithTheClientsHeaders) {
  EXPECT_EQ(client.get(service.url("/api/info/"), 3000),
            R"({"name":"Tidewell","homepage":"https://www.tidewell.example"})");
  service.rule("/api/info/", {{"body", "not json, 潮井"}});
  EXPECT_EQ(client.get(service.url("/api/info/"), 3000), "not json, 潮井");

  const QJsonArray requests = service.requestsTo("/api/info/");
  ASSERT_EQ(requests.size(), 2);
  const QJsonObject headers = requests[0]["headers"].toObject();
  EXPECT_EQ(requests[0]["method"].toString(), "GET");
  EXPECT_EQ(headers["Content-Type"].toString(), "application/json");
  EXPECT_EQ(headers["X-App-Id"].toString(), "10001");
  EXPECT_EQ(headers["User-Agent"].toString(),
            QStringLiteral("Tidewell/2.0.0 (%1; %2)")
                .arg(QSysInfo::productType(), QSysInfo::productVersion()));
}

TEST_F(HttpClientTest, FailuresBecomeErrorBodies) {
  service.rule("/api/info/", {{"status", 404}});
  const QJsonObject notFound = parsedObject(client.get(service.url("/api/info/"), 3000));
  ASSERT_EQ(notFound.keys(), QStringList{"error"});
  EXPECT_TRUE(notFound["error"].toString().contains("Not Found"))
      << notFound["error"].toString().toStdString();

  const QString closed = QStringLiteral("http://127.0.0.1:%1/api/info/").arg(closedPort());
  EXPECT_EQ(client.get(closed, 3000), R"({"error":"server unreachable"})");
  EXPECT_EQ(client.post(closed, "{}", 3000), R"({"error":"server unreachable"})");
}

TEST_F(HttpClientTest, ASlowAnswerTimesOutAndTheConnectionIsAborted) {
  service.rule("/api/versions/", {{"delay", 5}});
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(client.get(service.url("/api/versions/"), 300), R"({"error":"request timeout"})");
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_TRUE(spinUntil(
      [&] { return service.requestsTo("/api/versions/").at(0)["client_closed"].toBool(); }, 3000))
      << "the service saw the request abandoned";
}

TEST_F(HttpClientTest, RedirectsAreFollowed) {
  service.rule("/old/", {{"redirect", "/api/versions/latest/"}});
  const QString answer = client.get(service.url("/old/"), 3000);
  EXPECT_EQ(parsedObject(answer)["version"].toString(), "2.1.0") << answer.toStdString();
  EXPECT_EQ(service.requestsTo("/api/versions/latest/").size(), 1);
  // A loop ends after the limit, as an error.
  service.rule("/loop/", {{"redirect", "/loop/"}});
  const QString loop = client.get(service.url("/loop/"), 3000);
  EXPECT_EQ(loop, R"({"error":"Too many redirects"})");
}

TEST_F(HttpClientTest, LocalTargetsSkipTheConnectivityTest) {
  EXPECT_TRUE(HttpClient::isLocalUrl(QUrl("http://localhost:1/")));
  EXPECT_TRUE(HttpClient::isLocalUrl(QUrl("http://127.0.0.7/")));
  EXPECT_TRUE(HttpClient::isLocalUrl(QUrl("http://[::1]:80/")));
  EXPECT_FALSE(HttpClient::isLocalUrl(QUrl("http://10.0.0.1/")));
  EXPECT_FALSE(HttpClient::isLocalUrl(QUrl("http://localhost.example/")));
  EXPECT_FALSE(HttpClient::isLocalUrl(QUrl("/relative")));
  connectivity->online = false;
  EXPECT_EQ(parsedObject(client.get(service.url("/api/info/"), 3000))["name"], "Tidewell");
  EXPECT_TRUE(client.isServerReachable(QUrl("ftp://example.invalid/"), 100));
  EXPECT_FALSE(client.isServerReachable(QUrl("http:///nohost"), 100));
}

// A remote origin reached through the environment's proxy (the service also
// answers as a proxy): offline, nothing at all is sent.
TEST_F(HttpClientTest, OfflineNothingIsSentAndProxiesAreHonoured) {
  ScopedEnv proxy("http_proxy", service.origin().toUtf8());
  ScopedEnv noProxy("no_proxy", "unproxied.test");
  const QString remote = "http://service.test/api/info/";

  connectivity->online = false;
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(client.get(remote, 3000), R"({"error":"network disconnected"})");
  EXPECT_EQ(client.post("http://service.test/api/feedback/", "{}", 3000),
            R"({"error":"network disconnected"})");
  client.postAsync("http://service.test/api/events/", "{}");
  EXPECT_LT(clock.elapsed(), 200);
  spinUntil([] { return false; }, 300);
  EXPECT_EQ(service.requests().size(), 0);

  connectivity->online = true;
  EXPECT_EQ(parsedObject(client.get(remote, 3000))["name"], "Tidewell");
  const QJsonArray requests = service.requests();
  ASSERT_EQ(requests.size(), 1);
  EXPECT_EQ(requests[0]["target"].toString(), remote);
  // no_proxy: straight to a host that does not exist.
  EXPECT_EQ(client.get("http://unproxied.test/api/info/", 3000),
            R"({"error":"server unreachable"})");
}

// The most this process ever held, in bytes.
qint64 peakMemory() {
  QFile status("/proc/self/status");
  status.open(QIODevice::ReadOnly);
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:"))
      return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
  return -1;
}

TEST_F(HttpClientTest, HugeAndEndlessAnswersAreRefusedWithoutBeingHeld) {
  const QString tooLarge = R"({"error":"response too large"})";
  const qint64 before = peakMemory();
  // Announced: refused at the headers. Unannounced or endless: at the cap.
  service.rule("/api/info/", {{"fill", 600 << 20}});
  EXPECT_EQ(client.get(service.url("/api/info/"), 20000), tooLarge);
  service.rule("/api/info/", {{"fill", 100 << 20}, {"no_length", true}});
  EXPECT_EQ(client.get(service.url("/api/info/"), 20000), tooLarge);
  service.rule("/api/versions/", {{"endless", true}});
  EXPECT_EQ(client.get(service.url("/api/versions/"), 20000), tooLarge);
  // 1 GiB packed into a megabyte is never unpacked.
  service.rule("/api/info/", {{"fill", 1 << 30}, {"gzip", true}});
  EXPECT_EQ(client.get(service.url("/api/info/"), 20000),
            R"({"error":"unsupported content encoding: gzip"})");
  EXPECT_LT(peakMemory() - before, 64 << 20);

  // The largest answer allowed still arrives whole.
  service.rule("/api/info/", {{"fill", HttpClient::maximumBodyBytes}, {"no_length", true}});
  EXPECT_EQ(client.get(service.url("/api/info/"), 20000).size(), HttpClient::maximumBodyBytes);
}

class ServiceClientTest : public HttpClientTest {
protected:
  ServiceClient calls{client, service.origin(), [] { return QStringLiteral("ABCDEF123456789X"); }};
};

TEST_F(ServiceClientTest, ReadsGoToTheirPaths) {
  EXPECT_EQ(parsedObject(calls.checkUpdate())["version"], "2.1.0");
  EXPECT_EQ(parsedObject(calls.getVersionList())["list"].toArray().size(), 2);
  EXPECT_EQ(parsedObject(calls.getAppInfo())["name"], "Tidewell");
  QStringList paths;
  for (const QJsonValue &request : service.requests())
    paths << request["method"].toString() + " " + request["target"].toString();
  EXPECT_EQ(paths,
            (QStringList{"GET /api/versions/latest/", "GET /api/versions/", "GET /api/info/"}));
}

TEST_F(ServiceClientTest, FeedbackCarriesIdentityAndVersionAndReportsFailure) {
  EXPECT_TRUE(
      calls.submitFeedback(R"({"text":"很好","client_id":"forged","zeta":1,"app_version":"9"})"));
  EXPECT_TRUE(calls.submitFeedback("not json"));
  EXPECT_TRUE(calls.submitFeedback("[1,2]"));
  const QJsonArray sent = service.requestsTo("/api/feedback/");
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[0]["method"].toString(), "POST");
  EXPECT_EQ(sent[0]["body"].toString(),
            R"({"app_version":"2.0.0","client_id":"ABCDEF123456789X","text":"很好","zeta":1})");
  EXPECT_EQ(sent[1]["body"].toString(),
            R"({"app_version":"2.0.0","client_id":"ABCDEF123456789X"})");
  EXPECT_EQ(sent[2]["body"].toString(), sent[1]["body"].toString());
  EXPECT_EQ(sent[0]["headers"]["X-App-Id"].toString(), "10001");

  service.rule("/api/feedback/", {{"body", R"({"error":"too long"})"}});
  EXPECT_FALSE(calls.submitFeedback("{}"));
  service.rule("/api/feedback/", {{"body", ""}});
  EXPECT_TRUE(calls.submitFeedback("{}")) << "an empty 200 answer";
  service.rule("/api/feedback/", {{"status", 404}});
  EXPECT_FALSE(calls.submitFeedback("{}"));
  service.rule("/api/feedback/", {{"endless", true}});
  EXPECT_FALSE(calls.submitFeedback("{}"));
  service.rule("/api/feedback/", {{"delay", 5}});
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(calls.submitFeedback("{}"));
  EXPECT_LT(clock.elapsed(), ServiceClient::timeoutMs + 1500);
}

TEST_F(ServiceClientTest, EventsAreSentWithoutWaiting) {
  service.rule("/api/events/", {{"delay", 2}});
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(calls.reportEvent(R"({"name":"start"})"));
  EXPECT_LT(clock.elapsed(), 1000);
  ASSERT_TRUE(spinUntil([&] { return service.requestsTo("/api/events/").size() == 1; }, 3000));
  EXPECT_EQ(service.requestsTo("/api/events/").at(0)["body"].toString(),
            R"({"app_version":"2.0.0","client_id":"ABCDEF123456789X","name":"start"})");

  ServiceClient closed(client, QStringLiteral("http://127.0.0.1:%1").arg(closedPort()),
                       [] { return QString("X"); });
  EXPECT_TRUE(closed.reportEvent("{}"));
  EXPECT_EQ(closed.checkUpdate(), R"({"error":"server unreachable"})");
}

} // namespace

namespace {

TEST(ServiceOriginTest, HttpsOriginsOrLoopbackOnly) {
  for (const char *origin : {"https://api.tidewell.example", "https://api.tidewell.example:8443",
                             "http://127.0.0.1:8080", "http://localhost:1", "http://[::1]:80"})
    EXPECT_TRUE(ServiceOrigin::isAcceptable(origin)) << origin;
  for (const char *origin :
       {"http://api.tidewell.example", "https://api.tidewell.example/", "https://a.example/api",
        "https://u:p@a.example", "https://a.example?x=1", "ftp://127.0.0.1", "", "127.0.0.1:80"})
    EXPECT_FALSE(ServiceOrigin::isAcceptable(origin)) << origin;
  EXPECT_FALSE(ServiceOrigin::isLoopback("https://api.tidewell.example"));
  EXPECT_TRUE(ServiceOrigin::isLoopback("https://127.0.0.1:4443"));
}

TEST(ServiceOriginTest, TheEnvironmentMayOnlyNameALoopbackOrigin) {
  EXPECT_EQ(ServiceOrigin::current(), TW_SERVICE_BASE_URL);
  {
    ScopedEnv override("TIDEWELL_SERVICE_BASE_URL", "http://127.0.0.1:5000");
    EXPECT_EQ(ServiceOrigin::current(), "http://127.0.0.1:5000");
  }
  for (const char *remote :
       {"https://elsewhere.example", "http://192.0.2.1:80", "http://127.0.0.1/x"}) {
    ScopedEnv override("TIDEWELL_SERVICE_BASE_URL", remote);
    EXPECT_EQ(ServiceOrigin::current(), TW_SERVICE_BASE_URL) << remote;
  }
}

} // namespace
