#include "app/ModalMessage.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool displayExists() {
  const char *x11 = std::getenv("DISPLAY");
  const char *wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

void ModalMessage::show(const char *text, const char *caption) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  if (!displayExists())
    return;
  std::unique_ptr<QApplication> application;
  if (!QApplication::instance()) {
    static int argc = 1;
    static char name[] = "Tidewell";
    static char *argv[] = {name, nullptr};
    application = std::make_unique<QApplication>(argc, argv);
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(caption), QString::fromUtf8(text),
                  QMessageBox::Ok);
  box.exec();
}
