#pragma once
// Closing the application's main window from the window system (its close
// button, Alt+F4, a close request of the window manager) hides it while
// minimise-on-close is set and the tray icon is in a notification area,
// which brings it back. With the flag cleared, without a tray (a hidden
// window could not come back), and for the page's own Window.this.close(),
// the window closes and the program ends as usual.
class QWidget;

namespace CloseInterception {

// Once per widget; the filter goes with the widget.
void install(QWidget *window);

} // namespace CloseInterception
