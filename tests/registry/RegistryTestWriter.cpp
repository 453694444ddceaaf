// A writer process for the concurrency tests: COUNT values named PREFIX0..,
// each with its own number as a DWORD, each its own transaction.
//   registry-test-writer KEY PREFIX COUNT
#include <QCoreApplication>
#include <QTextStream>

#include "platform/registry/RegistryFactory.h"

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const auto key = args.size() == 4 ? RegistryKey::parse(args.at(1)) : std::nullopt;
  if (!key)
    return 2;
  const auto registry = createUserRegistry();
  const int count = args.at(3).toInt();
  for (int i = 0; i < count; ++i) {
    if (!registry->setValue(*key, args.at(2) + QString::number(i), RegistryValue::fromDWord(i))) {
      QTextStream(stderr) << registry->lastError() << '\n';
      return 1;
    }
  }
  return 0;
}
