#include "app/TrayApplication.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/TinyWindow.h"
#include "base/catalogue/Constants.h"
#include "bridge/NativeUtil.h"

namespace {

const UINT trayWindowFlags = SW_TOOL | SW_ENABLE_DEBUG;

// Any value but 0 tells NativeUtil that a host is there to receive events.
const int32_t hostValue = 1;

} // namespace

TrayApplication::~TrayApplication() {
  if (trayWindow)
    trayWindow->release();
}

bool TrayApplication::claimSession() {
  return session.claim();
}

void TrayApplication::registerHost(const ISciterAPI &api, NativeUtil &util) {
  // The program's icon, for its windows and the tray.
  const ResourceDecision::ItemLookup lookup = archiveLookup(api);
  const uint8_t *data = nullptr;
  uint32_t size = 0;
  QPixmap logo;
  if (lookup(QStringLiteral("common/img/logo.png"), &data, &size) && size > 0 &&
      logo.loadFromData(data, size))
    QApplication::setWindowIcon(QIcon(logo));

  // The tray menu: loaded now, shown by a right click on the tray icon.
  trayWindow = new TinyWindow(api, trayWindowFlags, lookup);
  trayWindow->addRef();
  const QString trayPage = Constants::urlPrefix() + QStringLiteral("/main/tray.html");
  if (HWINDOW tray = trayWindow->handle())
    api.SciterLoadFile(tray, reinterpret_cast<LPCWSTR16>(trayPage.utf16()));

  // Also from the tray, where a close with minimise-on-close put it.
  session.onRaiseRequest([&api, window = mainWindow()] {
    api.SciterWindowExec(window, SCITER_WINDOW_SET_STATE, SCITER_WINDOW_STATE_SHOWN, 0);
    api.SciterWindowExec(window, SCITER_WINDOW_ACTIVATE, 0, 0);
  });
  NativeUtil::setMainWindow(mainWindow());
  NativeUtil::setTrayWindow(trayWindow->handle());
  util.setHostWindow(hostValue);
}
