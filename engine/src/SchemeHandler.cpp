#include "engine/src/SchemeHandler.h"

#include "engine/src/Engine.h"
#include "engine/src/EngineWindow.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QWebEngineUrlRequestJob>

namespace {
// The request the host is answering right now (SciterDataReady fills it).
struct PendingRequest {
  QString uri;
  QByteArray data;
  bool ready = false;
};
PendingRequest *current = nullptr;
QSet<SchemeHandler *> handlers;

const QString runtimePrefix = QStringLiteral("/@tidewell/");

QByteArray mimeType(const QString &path, const QByteArray &data) {
  static const QHash<QString, QByteArray> types{
      {"html", "text/html"},      {"htm", "text/html"},  {"js", "text/javascript"},
      {"mjs", "text/javascript"}, {"css", "text/css"},   {"json", "application/json"},
      {"svg", "image/svg+xml"},   {"png", "image/png"},  {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},     {"gif", "image/gif"},  {"webp", "image/webp"},
      {"ico", "image/x-icon"},    {"bmp", "image/bmp"},  {"txt", "text/plain"},
      {"xml", "text/xml"},        {"woff", "font/woff"}, {"woff2", "font/woff2"},
      {"ttf", "font/ttf"},        {"otf", "font/otf"},   {"wasm", "application/wasm"},
      {"template", "text/plain"},
  };
  const QString name = path.section('/', -1);
  const QString suffix = name.contains('.') ? name.section('.', -1).toLower() : QString();
  QByteArray type = types.value(suffix);
  if (type.isEmpty()) {
    // Extensionless module imports ("/common/js/Constants") are scripts;
    // markup gives itself away.
    if (!suffix.isEmpty())
      return "application/octet-stream";
    type = data.trimmed().startsWith('<') ? "text/html" : "text/javascript";
  }
  return type;
}

// Program documents get the import map for @sys and @env and, when eval or
// sockets are not allowed, a policy that refuses them.
QByteArray prepareDocument(QByteArray html) {
  QByteArray head =
      R"(<script type="importmap">{"imports":{"@sys":"/@tidewell/sys.js","@env":"/@tidewell/env.js"}}</script>)";
  // The job cannot name a charset, so documents that name none get UTF-8.
  if (!html.left(1024).toLower().contains("charset"))
    head = R"(<meta charset="utf-8">)" + head;
  Engine &engine = Engine::instance();
  if (!engine.allows(ALLOW_EVAL) || !engine.allows(ALLOW_SOCKET_IO)) {
    QByteArray policy = "default-src * this: data: blob: 'unsafe-inline'";
    policy += engine.allows(ALLOW_EVAL) ? " 'unsafe-eval';" : ";";
    if (!engine.allows(ALLOW_SOCKET_IO))
      policy += " connect-src this: data: blob:;";
    head = R"(<meta http-equiv="Content-Security-Policy" content=")" + policy + "\">" + head;
  }
  const QString start = QString::fromUtf8(html.left(4096));
  static const QRegularExpression anchors[] = {
      QRegularExpression("<head(\\s[^>]*)?>", QRegularExpression::CaseInsensitiveOption),
      QRegularExpression("<html(\\s[^>]*)?>", QRegularExpression::CaseInsensitiveOption),
      QRegularExpression("<!doctype[^>]*>", QRegularExpression::CaseInsensitiveOption),
  };
  for (const auto &anchor : anchors) {
    const auto match = anchor.match(start);
    if (match.hasMatch()) {
      const int at = start.left(match.capturedEnd()).toUtf8().size();
      return html.insert(at, head);
    }
  }
  return head + html;
}

QString uriOf(const QUrl &url) {
  return url.toString(QUrl::RemoveFragment);
}
} // namespace

SchemeHandler::SchemeHandler(EngineWindow *root, QObject *parent)
    : QWebEngineUrlSchemeHandler(parent), root(root) {
  handlers.insert(this);
}

SchemeHandler::~SchemeHandler() {
  handlers.remove(this);
}

SchemeHandler::Answer SchemeHandler::ask(EngineWindow *window, const QString &uri,
                                         QByteArray *data) {
  const std::u16string uri16 = uri.toStdU16String();
  PendingRequest request{uri, {}, false};
  PendingRequest *outer = current;
  current = &request;
  SCN_LOAD_DATA notification{};
  notification.code = SC_LOAD_DATA;
  notification.uri = uri16.c_str();
  const UINT answer =
      window ? window->notifyHost(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&notification))
             : static_cast<UINT>(LOAD_OK);
  current = outer;
  if (request.ready) {
    *data = request.data;
    return Answer::Data;
  }
  if (answer == LOAD_DELAYED || answer == LOAD_MYSELF)
    return Answer::Delayed;
  // Loaded without data: the engine would fetch it itself, and there is
  // nothing else behind this:// than the host.
  return Answer::Missing;
}

bool SchemeHandler::fetch(EngineWindow *window, const QUrl &url, QByteArray *data) {
  if (url.scheme() != QLatin1String("this"))
    return false;
  return ask(window, uriOf(url), data) == Answer::Data;
}

bool SchemeHandler::dataReady(const QString &uri, const uint8_t *data, UINT size) {
  const QByteArray bytes(reinterpret_cast<const char *>(data), data ? static_cast<int>(size) : 0);
  QCoreApplication *app = QCoreApplication::instance();
  if (app && QThread::currentThread() != app->thread()) {
    // A delayed answer from another thread: the bytes are copied now and
    // handed over on the UI thread.
    QMetaObject::invokeMethod(
        app, [uri, bytes] { deliverDelayed(uri, bytes); }, Qt::QueuedConnection);
    return true;
  }
  if (current && (uri.isEmpty() || uri == current->uri)) {
    current->data = bytes;
    current->ready = true;
    return true;
  }
  return deliverDelayed(uri, bytes);
}

bool SchemeHandler::deliverDelayed(const QString &uri, const QByteArray &bytes) {
  for (SchemeHandler *handler : handlers) {
    const auto jobs = handler->delayed.values(uri);
    if (jobs.isEmpty())
      continue;
    handler->delayed.remove(uri);
    for (const auto &job : jobs)
      if (job)
        handler->reply(job, bytes);
    return true;
  }
  return false;
}

void SchemeHandler::requestStarted(QWebEngineUrlRequestJob *job) {
  const QUrl url = job->requestUrl();
  if (url.host() == QLatin1String("app") && url.path().startsWith(runtimePrefix)) {
    QFile module(":/tidewell/" + url.path().mid(runtimePrefix.size()));
    if (!module.open(QIODevice::ReadOnly)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    reply(job, module.readAll());
    return;
  }
  QByteArray data;
  const QString uri = uriOf(url);
  switch (ask(root, uri, &data)) {
  case Answer::Data:
    reply(job, data);
    break;
  case Answer::Delayed:
    delayed.insert(uri, job);
    break;
  case Answer::Missing:
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    break;
  }
}

void SchemeHandler::reply(QWebEngineUrlRequestJob *job, QByteArray data) {
  const QUrl url = job->requestUrl();
  const QByteArray type = mimeType(url.path(), data);
  if (type.startsWith("text/html") && url.host() == QLatin1String("app"))
    data = prepareDocument(data);
  if (root && !url.path().startsWith(runtimePrefix)) {
    const std::u16string uri16 = uriOf(url).toStdU16String();
    SCN_DATA_LOADED loaded{};
    loaded.code = SC_DATA_LOADED;
    loaded.uri = uri16.c_str();
    loaded.data = reinterpret_cast<const uint8_t *>(data.constData());
    loaded.dataSize = static_cast<UINT>(data.size());
    root->notifyHost(reinterpret_cast<SCITER_CALLBACK_NOTIFICATION *>(&loaded));
  }
  auto *buffer = new QBuffer;
  buffer->setData(data);
  buffer->open(QIODevice::ReadOnly);
  connect(job, &QObject::destroyed, buffer, &QObject::deleteLater);
  job->reply(type, buffer);
}
