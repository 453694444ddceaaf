// tidewell-clean: no display, no page engine; a core application at most.
#include <QCoreApplication>
#include <QTextStream>

#include "app/CleanCommand.h"

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  const int code = CleanCommand(out, err).run(application.arguments().mid(1));
  out.flush();
  err.flush();
  return code;
}
