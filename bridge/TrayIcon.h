#pragma once
// The application's icon in the notification area (a StatusNotifierItem where
// a host is registered on the session bus, an XEmbed icon otherwise; Qt puts
// it into a tray that appears later). A left click brings back the main
// window and hides the tray window; a right click shows the tray window as a
// menu above the cursor, or hides it when it is shown. Process-wide.
#include <QPoint>
#include <QRect>
#include <QSize>

class QSystemTrayIcon;

class TrayIcon {
public:
  static TrayIcon &instance();

  // Adds the icon, or updates it when it is there. False without a tray
  // window, without an application icon (logged), without a user interface,
  // or while no notification area is there to show it: the icon waits for
  // an XEmbed tray that appears later.
  bool show();
  // Takes the icon out of the notification area.
  void remove();
  // The icon is shown and a notification area holds it now: a window hidden
  // to the tray can be brought back. Asked at each close, as a panel may
  // come or go while the program runs.
  bool isInTray() const;

  // Where the tray menu of the given size goes for a click at cursor: centred
  // above it, then kept inside the work area on the left, right and top.
  static QPoint menuPosition(QPoint cursor, QSize menu, QRect workArea);
  // The work area of the screen under the point, or of the nearest screen.
  static QRect workAreaAt(QPoint point);

private:
  TrayIcon() = default;
  void leftClick();
  void rightClick();

  QSystemTrayIcon *icon = nullptr;
};
