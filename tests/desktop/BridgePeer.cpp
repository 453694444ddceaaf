// bridge-peer: one program of the product as the settings and shared-memory
// tests see it. Each run does one thing and prints its result as JSON:
//   shm-set KEY VALUE     sets the value, prints the result, then keeps the
//                         segment until a line or the end of stdin arrives
//   shm-get KEY           prints the value another program set
//   setting-get KEY DEFAULT / setting-set KEY VALUE
//   minimize 0|1          prints the flag before, the result and the flag after
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <cstdio>
#include <iostream>
#include <string>

#include "bridge/SettingsStore.h"
#include "bridge/SharedMemoryStore.h"

namespace {

void print(const QJsonArray &values) {
  std::printf("%s\n", QJsonDocument(values).toJson(QJsonDocument::Compact).constData());
  std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const QString command = args.value(0);
  if (command == "shm-set") {
    SharedMemoryStore store;
    print({store.setValue(args.value(1), args.value(2))});
    std::string line;
    std::getline(std::cin, line);
    return 0;
  }
  if (command == "shm-get") {
    SharedMemoryStore store;
    print({store.value(args.value(1))});
    return 0;
  }
  SettingsStore settings;
  if (command == "setting-get") {
    print({settings.value(args.value(1), args.value(2))});
    return 0;
  }
  if (command == "setting-set") {
    print({settings.setValue(args.value(1), args.value(2))});
    return 0;
  }
  if (command == "minimize") {
    const bool before = SettingsStore::minimizeOnClose();
    const bool stored = settings.setMinimizeOnClose(args.value(1) == "1");
    print({before, stored, SettingsStore::minimizeOnClose()});
    return 0;
  }
  std::fprintf(stderr, "unknown command\n");
  return 2;
}
