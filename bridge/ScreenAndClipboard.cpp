#include "bridge/ScreenAndClipboard.h"

#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "base/log/Log.h"

namespace {

bool haveScreens() {
  return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

} // namespace

bool ScreenAndClipboard::copyToClipboard(const QString &text) {
  if (text.isEmpty() || !haveScreens())
    return false;
  QClipboard *clipboard = QGuiApplication::clipboard();
  if (!clipboard)
    return false;
  clipboard->setText(text, QClipboard::Clipboard);
  Log::info("NativeUtil", "copy to clipboard, length: {}", text.size());
  return true;
}

int ScreenAndClipboard::cursorX() const {
  return haveScreens() ? QCursor::pos().x() : 0;
}

int ScreenAndClipboard::cursorY() const {
  return haveScreens() ? QCursor::pos().y() : 0;
}

int ScreenAndClipboard::monitorCount() const {
  return haveScreens() ? QGuiApplication::screens().size() : 0;
}
