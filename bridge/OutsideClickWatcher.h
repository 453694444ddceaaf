#pragma once
// Tells the open menu's page when the user presses a mouse button outside
// the menu. On X11 it listens to XInput 2 raw button presses on the root
// window, over a connection of its own: nothing is grabbed, every click goes
// on to the window under it. Without X11 the menu window losing the focus
// stands for a click elsewhere. Process-wide, like the menu it serves.
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

class OutsideClickWatcher {
public:
  using Handler = std::function<void()>;

  static OutsideClickWatcher &instance();

  // Starts watching for owner; press outside rect (left and top edges
  // inside, right and bottom edges outside) calls onOutside. Replaces what
  // was watched before. False with a reason when no listener can be set up.
  bool install(const void *owner, QRect rect, Handler onOutside, QString *error);
  // Stops listening; true when a listener was installed.
  bool remove();
  // Drops the handler of an owner that goes away; the listener stays.
  void forget(const void *owner);

  // Whether a press at point is outside rect by the menu's rule.
  static bool outside(QRect rect, QPoint point);

private:
  OutsideClickWatcher();
  ~OutsideClickWatcher();
  void pressed(QPoint point);
  void focusLost();

  class X11Listener;
  std::unique_ptr<X11Listener> x11;
  class FocusListener;
  std::unique_ptr<FocusListener> focus;
  const void *owner = nullptr;
  QRect rect;
  Handler onOutside;
};
