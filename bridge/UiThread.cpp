#include "bridge/UiThread.h"

#include <QCoreApplication>
#include <QMetaObject>

void UiThread::post(Task task) {
  QCoreApplication *application = QCoreApplication::instance();
  if (!application) {
    task();
    return;
  }
  QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}
