#pragma once
// The windows the application host registers: the main window, which a left
// click on the tray icon brings back, and the tray window, shown as the tray
// menu. Process-wide, as there is one of each per program; the installer and
// the uninstaller register neither.
#include <QPointer>
#include <QWidget>

#include "tidewell/engine-api.h"

namespace HostWindows {

// Stores the main window and, when it is one, intercepts its close while
// minimise-on-close is set.
void setMainWindow(HWINDOW handle);
HWINDOW mainWindow();
void setTrayWindow(HWINDOW handle);
HWINDOW trayWindow();

// The live widgets behind the registered handles, or null.
QWidget *mainWidget();
QWidget *trayWidget();

// The top-level widget of this process behind an engine window handle: the
// handle names the widget itself or its native window.
QWidget *widgetOf(HWINDOW handle);

} // namespace HostWindows
