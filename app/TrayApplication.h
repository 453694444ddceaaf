#pragma once
// The application program's frame: besides the main window it keeps a tray
// window, the menu that the tray icon shows, and registers both windows and
// a host value with NativeUtil, so that the tray icon, the close
// interception and the global events work here (and only here).
#include "app/Application.h"
#include "app/SingleInstance.h"

class TinyWindow;

class TrayApplication : public Application {
public:
  using Application::Application;
  ~TrayApplication() override;

protected:
  // A second start brings the running application's window forward and ends.
  bool claimSession() override;
  void registerHost(const ISciterAPI &api, NativeUtil &util) override;

private:
  TinyWindow *trayWindow = nullptr;
  SingleInstance session;
};
