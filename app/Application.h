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

  // 0 after the window closed, the program was asked to end by a signal,
  // or another start of it runs this session.
  int run();

protected:
  // Whether this start goes on, asked once the application object exists:
  // every start does, unless a program runs once per session.
  virtual bool claimSession();
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
