#pragma once
// The application frame: binds the engine, opens the compiled-in archive,
// creates the main window and the script globals, loads the start page and
// runs the message loop until the window closes.
#include <QString>

#include "tidewell/engine-api.h"

class Application {
public:
  Application(int argc, char **argv, QString startPage);
  virtual ~Application() = default;

  // Always 0: the loop's own result is not examined.
  int run();

protected:
  // NativeUtil, then VirtualKey, as global script objects.
  virtual void registerGlobals(const ISciterAPI &api);

private:
  const int argc;
  char **const argv;
  const QString startPage;
};
