// Prints the language the system-information service answers under the locale
// of its environment; an argument, if given, is the application's first one.
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "system/SystemInfo.h"

int main(int argc, char **argv) {
  int count = 1;
  std::unique_ptr<QCoreApplication> app;
  if (argc > 1)
    app = std::make_unique<QCoreApplication>(count, argv + 1);
  return std::fputs(SystemInfo().language().toUtf8().constData(), stdout) < 0;
}
