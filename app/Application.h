#pragma once
// The application frame: binds the engine, opens the compiled-in archive,
// creates the main window and the script globals, loads the start page and
// runs the message loop until the window closes.
#include <QString>

#include "base/resources/ResourceDecision.h"
#include "tidewell/engine-api.h"

class NativeUtil;

class Application {
public:
  Application(int argc, char **argv, QString startPage);
  virtual ~Application() = default;

  // Always 0: the loop's own result is not examined.
  int run();

protected:
  // NativeUtil, then VirtualKey, as global script objects.
  virtual void registerGlobals(const ISciterAPI &api);
  // What the host registers with NativeUtil before the pages see it: the
  // installer and the uninstaller register nothing.
  virtual void registerHost(const ISciterAPI &api, NativeUtil &util);
  // Items of the program's archive by path ("main/main.html").
  static ResourceDecision::ItemLookup archiveLookup(const ISciterAPI &api);
  // The main window, once run() has made it.
  HWINDOW mainWindow() const { return mainHandle; }

private:
  const int argc;
  char **const argv;
  const QString startPage;
  HWINDOW mainHandle = nullptr;
};
