#include "bridge/CloseInterception.h"

#include <QEvent>
#include <QWidget>

#include "bridge/SettingsStore.h"
#include "bridge/TrayIcon.h"

namespace {

class CloseFilter : public QObject {
public:
  explicit CloseFilter(QWidget *window) : QObject(window), window(window) { setObjectName(name()); }
  static QString name() { return QStringLiteral("closeInterception"); }

  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched != window || event->type() != QEvent::Close || !event->spontaneous() ||
        !SettingsStore::minimizeOnClose() || !TrayIcon::instance().isInTray())
      return false;
    window->hide();
    event->ignore();
    return true;
  }

private:
  QWidget *const window;
};

} // namespace

void CloseInterception::install(QWidget *window) {
  if (!window || window->findChild<QObject *>(CloseFilter::name(), Qt::FindDirectChildrenOnly))
    return;
  window->installEventFilter(new CloseFilter(window));
}
