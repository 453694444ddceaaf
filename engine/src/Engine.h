#pragma once
// The engine process state: the application object, options, the per-run
// bridge token, the browser profiles and the message loop.
#include "engine/include/tidewell/engine-api.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

class QApplication;
class QTranslator;
class QWebEngineProfile;
class EngineWindow;

class Engine {
public:
  static Engine &instance();
  intptr_t exec(UINT command, uintptr_t p1, uintptr_t p2);
  bool setOption(HWINDOW window, UINT option, uintptr_t value);
  bool initialised() const { return app != nullptr; }

  UINT features() const { return scriptFeatures; }
  bool allows(UINT feature) const { return (scriptFeatures & feature) != 0; }
  const QString &token() const { return bridgeToken; }
  // A profile of its own for each top-level window the host creates; its
  // modal windows share it. The first one starts the browser, so debugging
  // is decided then.
  QWebEngineProfile *createProfile(EngineWindow *root, bool debugWindow);
  void windowCreated(bool mainWindow) { mainWindows += mainWindow ? 1 : 0; }
  void windowDestroyed(bool mainWindow);
  // Ends the message loop with a failure status: the program cannot go on.
  void fail(int status);
  // Qt's own dialogs and message boxes speak the pages' language ("zh-CN").
  void useLanguage(const QString &tag);

private:
  void init(int argc, const char16_t *const *argv);
  void prepareEnvironment(bool debug);
  void shutdown();

  std::unique_ptr<QApplication> app;
  std::vector<QByteArray> arguments;
  std::vector<char *> argumentPointers;
  int argumentCount = 0;
  QString bridgeToken;
  QString runtimeSource;
  UINT scriptFeatures = ALLOW_FILE_IO | ALLOW_SOCKET_IO | ALLOW_EVAL | ALLOW_SYSINFO;
  bool debugMode = false;
  bool browserStarted = false;
  int mainWindows = 0;
  QList<QWebEngineProfile *> profiles;
  std::unique_ptr<QTranslator> translator;
  QString language;
  // Options without a Qt WebEngine counterpart are kept as set.
  QHash<UINT, uintptr_t> keptOptions;
};
