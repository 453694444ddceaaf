#include "bridge/HostWindows.h"

#include <QApplication>

#include "bridge/CloseInterception.h"

namespace {

struct Registered {
  HWINDOW handle = nullptr;
  QPointer<QWidget> widget;
};

Registered &mainRecord() {
  static Registered record;
  return record;
}

Registered &trayRecord() {
  static Registered record;
  return record;
}

void store(Registered &record, HWINDOW handle) {
  record.handle = handle;
  record.widget = HostWindows::widgetOf(handle);
}

} // namespace

QWidget *HostWindows::widgetOf(HWINDOW handle) {
  if (!handle || !qobject_cast<QApplication *>(QCoreApplication::instance()))
    return nullptr;
  for (QWidget *widget : QApplication::topLevelWidgets()) {
    if (static_cast<void *>(widget) == handle ||
        (widget->internalWinId() &&
         reinterpret_cast<HWINDOW>(static_cast<uintptr_t>(widget->internalWinId())) == handle))
      return widget;
  }
  return nullptr;
}

void HostWindows::setMainWindow(HWINDOW handle) {
  store(mainRecord(), handle);
  if (QWidget *widget = mainRecord().widget)
    CloseInterception::install(widget);
}

HWINDOW HostWindows::mainWindow() {
  return mainRecord().handle;
}

void HostWindows::setTrayWindow(HWINDOW handle) {
  store(trayRecord(), handle);
}

HWINDOW HostWindows::trayWindow() {
  return trayRecord().handle;
}

QWidget *HostWindows::mainWidget() {
  return mainRecord().widget;
}

QWidget *HostWindows::trayWidget() {
  return trayRecord().widget;
}
