// Prints this process's client identifier, for comparing processes and users.
#include <QCoreApplication>

#include <cstdio>

#include "online/ClientIdentity.h"

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  std::printf("%s\n", ClientIdentity::current().toLatin1().constData());
  return 0;
}
