#include "bridge/TrayIcon.h"

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWidget>
#include <climits>

#include "base/catalogue/Constants.h"
#include "base/log/Log.h"
#include "bridge/HostWindows.h"

TrayIcon &TrayIcon::instance() {
  static TrayIcon tray;
  return tray;
}

bool TrayIcon::show() {
  if (!HostWindows::trayWindow() || !qobject_cast<QApplication *>(QCoreApplication::instance()))
    return false;
  const QIcon appIcon = QApplication::windowIcon();
  if (appIcon.isNull()) {
    Log::info("NativeUtil", "ExtractIconEx failed, extracted={}, last error={}", 0, 0);
    return false;
  }
  if (!icon) {
    // A child of the application object: it leaves the notification area
    // before the application goes.
    icon = new QSystemTrayIcon(qApp);
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                       if (reason == QSystemTrayIcon::Trigger)
                         leftClick();
                       else if (reason == QSystemTrayIcon::Context)
                         rightClick();
                     });
    QObject::connect(icon, &QObject::destroyed, [this] { icon = nullptr; });
    // The tooltip names the program as the main window's title does, in
    // the language its page chose.
    if (QWidget *main = HostWindows::mainWidget())
      QObject::connect(main, &QWidget::windowTitleChanged, icon, &QSystemTrayIcon::setToolTip);
    // The icon goes with the tray window.
    if (QWidget *tray = HostWindows::trayWidget())
      QObject::connect(tray, &QObject::destroyed, icon, [this] { remove(); });
  }
  icon->setIcon(appIcon);
  const QWidget *main = HostWindows::mainWidget();
  icon->setToolTip(main && !main->windowTitle().isEmpty() ? main->windowTitle()
                                                          : Constants::applicationName());
  icon->show();
  if (!isInTray()) {
    Log::info("NativeUtil", "no notification area: closing the main window ends the program");
    return false;
  }
  return true;
}

void TrayIcon::remove() {
  if (icon)
    icon->hide();
}

bool TrayIcon::isInTray() const {
  // Qt's answer follows the tray its icon uses: a StatusNotifier host on the
  // session bus (as Qt found it at the icon's creation), else the owner of
  // the XEmbed selection _NET_SYSTEM_TRAY_S<screen>, both looked up anew.
  return icon && icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::leftClick() {
  if (QWidget *main = HostWindows::mainWidget()) {
    main->show();
    main->raise();
    main->activateWindow();
  }
  QWidget *tray = HostWindows::trayWidget();
  if (tray && tray->isVisible())
    tray->hide();
}

void TrayIcon::rightClick() {
  QWidget *tray = HostWindows::trayWidget();
  if (!tray)
    return;
  if (tray->isVisible()) {
    tray->hide();
    return;
  }
  const QPoint cursor = QCursor::pos();
  // A menu: above other windows and out of the task bar. Changing the
  // flags recreates the window, so only the first time.
  const Qt::WindowFlags menuFlags = Qt::Tool | Qt::WindowStaysOnTopHint;
  if ((tray->windowFlags() & menuFlags) != menuFlags)
    tray->setWindowFlags(tray->windowFlags() | menuFlags);
  tray->move(menuPosition(cursor, tray->frameGeometry().size(), workAreaAt(cursor)));
  tray->show();
  tray->raise();
  tray->activateWindow();
}

QPoint TrayIcon::menuPosition(QPoint cursor, QSize menu, QRect workArea) {
  int x = cursor.x() - menu.width() / 2;
  int y = cursor.y() - menu.height() - 2;
  if (workArea.isValid()) {
    const int right = workArea.x() + workArea.width(); // first column outside
    if (x < workArea.x())
      x = workArea.x();
    if (x + menu.width() > right)
      x = right - menu.width();
    if (y < workArea.y())
      y = workArea.y();
  }
  return {x, y};
}

QRect TrayIcon::workAreaAt(QPoint point) {
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    return {};
  if (QScreen *screen = QGuiApplication::screenAt(point))
    return screen->availableGeometry();
  QScreen *nearest = nullptr;
  qint64 best = LLONG_MAX;
  for (QScreen *screen : QGuiApplication::screens()) {
    const QRect area = screen->geometry();
    const qint64 dx = std::max({area.left() - point.x(), 0, point.x() - area.right()});
    const qint64 dy = std::max({area.top() - point.y(), 0, point.y() - area.bottom()});
    if (dx * dx + dy * dy < best) {
      best = dx * dx + dy * dy;
      nearest = screen;
    }
  }
  return nearest ? nearest->availableGeometry() : QRect();
}
