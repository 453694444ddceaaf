// Rates of the registry store beside QSettings' INI files, on this machine.
//   registry-bench [COUNT]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "platform/registry/SqliteRegistry.h"

namespace {

double rate(int count, const std::function<void(int)> &work) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < count; ++i)
    work(i);
  return count * 1e9 / double(timer.nsecsElapsed());
}

void row(const char *what, double store, double peer) {
  std::printf("%-34s %14.0f %14.0f\n", what, store, peer);
}

} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
  QTemporaryDir folder;
  SqliteRegistry store(folder.filePath("registry.db"));
  QSettings ini(folder.filePath("settings.ini"), QSettings::IniFormat);
  const RegistryKey key(RegistryRoot::CurrentUser,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell");
  const QString group = key.path().replace('\\', '/') + '/';
  bool ok = true;

  const double storeWrites = rate(count, [&](int i) {
    ok &= store.setValue(key, QStringLiteral("value%1").arg(i), RegistryValue::fromDWord(i));
  });
  const double iniWrites = rate(count, [&](int i) {
    ini.setValue(group + QStringLiteral("value%1").arg(i), i);
    ini.sync();
  });
  const int reads = count * 10;
  const double storeReads = rate(reads, [&](int i) {
    ok &= store.value(key, QStringLiteral("value%1").arg(i % count)).has_value();
  });
  const double iniReads = rate(reads, [&](int i) {
    ok &= ini.value(group + QStringLiteral("value%1").arg(i % count)).isValid();
  });
  RegistryBatch batch;
  for (int i = 0; i < count * 10; ++i)
    batch.setValue(key.subKey("Batch"), QStringLiteral("value%1").arg(i),
                   RegistryValue::fromString("text"));
  QElapsedTimer timer;
  timer.start();
  ok &= store.apply(batch);
  const double batchWrites = count * 10 * 1e9 / double(timer.nsecsElapsed());

  std::printf("%-34s %14s %14s\n", "per second", "registry store", "QSettings INI");
  row("set value (one commit each)", storeWrites, iniWrites);
  row("get value (key depth 6)", storeReads, iniReads);
  row("set value (one batch)", batchWrites, 0);
  if (!ok)
    std::printf("errors: %s\n", qPrintable(store.lastError()));
  return ok ? 0 : 1;
}
