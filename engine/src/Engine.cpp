#include "engine/src/Engine.h"

#include "engine/src/CallQueue.h"
#include "engine/src/EngineWindow.h"
#include "engine/src/GlobalAssets.h"
#include "engine/src/Inspector.h"
#include "engine/src/RequestInterceptor.h"
#include "engine/src/SchemeHandler.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QTranslator>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>

#include <cstdlib>
#include <unistd.h>

static void initRuntimeResources() {
  Q_INIT_RESOURCE(runtime);
}

namespace {
// Chromium reads a switch after one dash or two, in any case here.
bool isDebuggingSwitch(const QByteArray &argument) {
  QByteArray name = argument.toLower();
  if (!name.startsWith('-'))
    return false;
  name = name.mid(name.startsWith("--") ? 2 : 1);
  return name.startsWith("remote-debugging") || name.startsWith("remote-allow-origins");
}

// The arguments without any switch that would open a debugging endpoint the
// engine did not ask for, nor the value given after such a switch as a
// separate argument.
QList<QByteArray> withoutDebuggingSwitches(const QList<QByteArray> &arguments) {
  QList<QByteArray> kept;
  for (int i = 0; i < arguments.size(); ++i) {
    const QByteArray &argument = arguments.at(i);
    if (!isDebuggingSwitch(argument)) {
      kept << argument;
      continue;
    }
    if (!argument.contains('=') && i + 1 < arguments.size() && !arguments.at(i + 1).startsWith('-'))
      ++i;
  }
  return kept;
}

// Chromium flags from the environment, split the way Qt WebEngine splits them.
QByteArray chromiumFlags() {
  QList<QByteArray> flags;
  for (const QByteArray &flag : qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").split(' '))
    if (!flag.isEmpty())
      flags << flag;
  QList<QByteArray> kept = withoutDebuggingSwitches(flags);
  kept << "--enable-blink-features=ImportMaps";
  return kept.join(' ');
}
} // namespace

Engine &Engine::instance() {
  static Engine engine;
  return engine;
}

intptr_t Engine::exec(UINT command, uintptr_t p1, uintptr_t p2) {
  switch (command) {
  case SCITER_APP_INIT:
    if (!app)
      init(static_cast<int>(p1), reinterpret_cast<const char16_t *const *>(p2));
    return 0;
  case SCITER_APP_LOOP:
    return app ? app->exec() : -1;
  case SCITER_APP_STOP:
    if (app)
      app->quit();
    return 0;
  case SCITER_APP_SHUTDOWN:
    shutdown();
    return 0;
  default:
    return -1;
  }
}

void Engine::init(int argc, const char16_t *const *argv) {
  initRuntimeResources();
  // The scheme must be known before the application object exists.
  QWebEngineUrlScheme scheme("this");
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                  QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);

  // No debugging endpoint unless the engine opens one itself.
  qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", chromiumFlags());
  // Chromium's sandbox refuses to start as root.
  if (geteuid() == 0)
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

  // Qt WebEngine hands the program's arguments to Chromium as well.
  QList<QByteArray> given;
  for (int i = 1; argv && i < argc; ++i)
    given << (argv[i] ? QString::fromUtf16(argv[i]).toLocal8Bit() : QByteArray());
  arguments.clear();
  arguments.push_back(argv && argc > 0 && argv[0] ? QString::fromUtf16(argv[0]).toLocal8Bit()
                                                  : QByteArray("tidewell"));
  for (const QByteArray &argument : withoutDebuggingSwitches(given))
    arguments.push_back(argument);
  argumentPointers.clear();
  for (auto &argument : arguments)
    argumentPointers.push_back(argument.data());
  argumentPointers.push_back(nullptr);
  argumentCount = static_cast<int>(arguments.size());

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  app = std::make_unique<QApplication>(argumentCount, argumentPointers.data());
  app->setQuitOnLastWindowClosed(false);

  bridgeToken.clear();
  for (int i = 0; i < 4; ++i)
    bridgeToken +=
        QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
  QFile runtime(":/tidewell/runtime.js");
  runtime.open(QIODevice::ReadOnly);
  runtimeSource = QString::fromUtf8(runtime.readAll()).replace("@@TOKEN@@", bridgeToken);
  CallQueue::instance().start();
}

void Engine::prepareEnvironment(bool debug) {
  const int port = Inspector::port(debug);
  if (port)
    qputenv("QTWEBENGINE_REMOTE_DEBUGGING", QByteArray("127.0.0.1:") + QByteArray::number(port));
  else
    qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
}

QWebEngineProfile *Engine::createProfile(EngineWindow *root, bool debugWindow) {
  if (!browserStarted) {
    browserStarted = true;
    prepareEnvironment(debugMode || debugWindow);
  }
  auto *profile = new QWebEngineProfile(); // off the record: nothing written to disk
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  profile->installUrlSchemeHandler("this", new SchemeHandler(root, profile));
  profile->setUrlRequestInterceptor(new RequestInterceptor(root, profile));
  profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);
  QWebEngineScript runtime;
  runtime.setName("tidewell-runtime");
  runtime.setInjectionPoint(QWebEngineScript::DocumentCreation);
  runtime.setWorldId(QWebEngineScript::MainWorld);
  runtime.setRunsOnSubFrames(false);
  runtime.setSourceCode(runtimeSource);
  profile->scripts()->insert(runtime);
  profiles.append(profile);
  return profile;
}

void Engine::windowDestroyed(bool mainWindow) {
  if (!app)
    return;
  if (mainWindow && --mainWindows <= 0)
    app->exit(0);
  else if (!mainWindow && mainWindows <= 0 && EngineWindow::liveCount() == 0)
    app->exit(0);
}

void Engine::fail(int status) {
  if (app)
    app->exit(status);
}

void Engine::useLanguage(const QString &tag) {
  if (!app || tag.isEmpty() || tag == language)
    return;
  language = tag;
  if (translator) {
    QCoreApplication::removeTranslator(translator.get());
    translator.reset();
  }
  auto loaded = std::make_unique<QTranslator>();
  if (loaded->load(QLocale(QString(tag).replace('-', '_')), "qtbase", "_",
                   QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(loaded.get());
    translator = std::move(loaded);
  }
}

bool Engine::setOption(HWINDOW window, UINT option, uintptr_t value) {
  (void)window; // every option applies to the whole engine
  switch (option) {
  case SCITER_SET_SCRIPT_RUNTIME_FEATURES:
    scriptFeatures = static_cast<UINT>(value);
    return true;
  case SCITER_SET_DEBUG_MODE:
    debugMode = value != 0;
    return true;
  case SCITER_FONT_SMOOTHING:
  case SCITER_SET_UX_THEMING:
  case SCITER_SET_MAX_HTTP_DATA_LENGTH:
  case SCITER_SMOOTH_SCROLL:
  case SCITER_CONNECTION_TIMEOUT:
  case SCITER_HTTPS_ERROR:
    keptOptions.insert(option, value);
    return true;
  default:
    return false;
  }
}

void Engine::shutdown() {
  if (!app)
    return;
  CallQueue::instance().stop();
  EngineWindow::destroyAll();
  GlobalAssets::instance().clear();
  qDeleteAll(profiles);
  profiles.clear();
  translator.reset();
  language.clear();
  app.reset();
}
