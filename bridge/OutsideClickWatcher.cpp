#include "bridge/OutsideClickWatcher.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

// Raw button presses of every master device, read from the root window of a
// connection of our own; the press position is the pointer's at reading.
class OutsideClickWatcher::X11Listener {
public:
  explicit X11Listener(std::function<void(QPoint)> onPress) : onPress(std::move(onPress)) {}
  ~X11Listener() {
    notifier.reset();
    if (display)
      XCloseDisplay(display);
  }

  bool open(QString *error) {
    display = XOpenDisplay(nullptr);
    if (!display) {
      *error = QStringLiteral("cannot open the X display");
      return false;
    }
    int event = 0, failure = 0;
    int major = 2, minor = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &failure) ||
        XIQueryVersion(display, &major, &minor) != Success) {
      *error = QStringLiteral("the X server has no XInput 2");
      return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [this] { drain(); });
    return true;
  }

private:
  void drain() {
    bool press = false;
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      XGenericEventCookie *cookie = &event.xcookie;
      if (cookie->type != GenericEvent || cookie->extension != opcode ||
          !XGetEventData(display, cookie))
        continue;
      if (cookie->evtype == XI_RawButtonPress) {
        const int button = static_cast<XIRawEvent *>(cookie->data)->detail;
        // 4 to 7 are the wheel's steps, not presses.
        if (button < 4 || button > 7)
          press = true;
      }
      XFreeEventData(display, cookie);
    }
    if (press)
      onPress(QCursor::pos());
  }

  const std::function<void(QPoint)> onPress;
  Display *display = nullptr;
  int opcode = 0;
  std::unique_ptr<QSocketNotifier> notifier;
};

// The window that has the focus when the menu opens is the menu; the focus
// going anywhere else counts as a click outside it.
class OutsideClickWatcher::FocusListener {
public:
  explicit FocusListener(std::function<void()> onLost) : menu(QGuiApplication::focusWindow()) {
    connection = QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged,
                                  [this, onLost](QWindow *now) {
                                    if (menu && now != menu)
                                      onLost();
                                  });
  }
  ~FocusListener() { QObject::disconnect(connection); }

private:
  QPointer<QWindow> menu;
  QMetaObject::Connection connection;
};

OutsideClickWatcher &OutsideClickWatcher::instance() {
  static OutsideClickWatcher watcher;
  return watcher;
}

OutsideClickWatcher::OutsideClickWatcher() = default;
OutsideClickWatcher::~OutsideClickWatcher() = default;

bool OutsideClickWatcher::outside(QRect rect, QPoint point) {
  return point.x() < rect.x() || point.y() < rect.y() || point.x() >= rect.x() + rect.width() ||
         point.y() >= rect.y() + rect.height();
}

bool OutsideClickWatcher::install(const void *newOwner, QRect newRect, Handler handler,
                                  QString *error) {
  remove();
  owner = newOwner;
  rect = newRect;
  onOutside = std::move(handler);
  if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
    *error = QStringLiteral("no user interface");
  } else if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    auto listener = std::make_unique<X11Listener>([this](QPoint point) { pressed(point); });
    if (listener->open(error))
      x11 = std::move(listener);
    // The listener lives on the application's event loop: it goes first.
    static bool removedAtQuit = false;
    if (x11 && !removedAtQuit) {
      removedAtQuit = true;
      QObject::connect(qGuiApp, &QCoreApplication::aboutToQuit, qGuiApp, [this] { remove(); });
    }
  } else {
    focus = std::make_unique<FocusListener>([this] { focusLost(); });
  }
  if (x11 || focus)
    return true;
  owner = nullptr;
  onOutside = nullptr;
  return false;
}

bool OutsideClickWatcher::remove() {
  const bool installed = x11 || focus;
  x11.reset();
  focus.reset();
  owner = nullptr;
  onOutside = nullptr;
  return installed;
}

void OutsideClickWatcher::forget(const void *gone) {
  if (owner == gone) {
    owner = nullptr;
    onOutside = nullptr;
  }
}

void OutsideClickWatcher::pressed(QPoint point) {
  if (owner && onOutside && outside(rect, point))
    onOutside();
}

void OutsideClickWatcher::focusLost() {
  if (owner && onOutside)
    onOutside();
}
