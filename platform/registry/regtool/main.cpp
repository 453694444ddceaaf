// regtool: the registry store for people and tests.
//   regtool query KEY [NAME]    regtool export KEY [FILE]
//   regtool import FILE         regtool delete KEY [NAME]
// Exit status 0 on success, 1 with a message on stderr otherwise.
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/registry/RegExport.h"
#include "platform/registry/RegImport.h"
#include "platform/registry/RegistryFactory.h"

namespace {

const char notFound[] = "ERROR: The system was unable to find the specified registry key or value.";

int fail(const QString &message) {
  QTextStream(stderr) << message << '\n';
  return 1;
}

// A read that found nothing: a missing key or value, unless the store failed.
int failMissing(const Registry &registry) {
  const QString error = registry.lastError();
  return fail(error.isEmpty() ? QLatin1String(notFound) : QStringLiteral("ERROR: ") + error);
}

int usage() {
  return fail(QStringLiteral("usage: regtool query KEY [NAME] | export KEY [FILE] | import FILE | "
                             "delete KEY [NAME]"));
}

// What a command prints; a write that fails (a full disk, a closed pipe)
// fails the command.
int print(const QString &text) {
  const QByteArray bytes = text.toUtf8();
  if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
      std::fflush(stdout) != 0)
    return fail(QStringLiteral("ERROR: cannot write the output: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
  return 0;
}

QString displayData(const RegistryValue &value) {
  if (const auto text = value.toString())
    return *text;
  if (const auto number = value.toDWord())
    return QStringLiteral("0x%1").arg(*number, 0, 16);
  if (const auto number = value.toQWord())
    return QStringLiteral("0x%1").arg(*number, 0, 16);
  if (const auto texts = value.toStringList())
    return texts->join(QLatin1String("\\0"));
  return QString::fromLatin1(value.data().toHex().toUpper());
}

QString displayLine(const QString &name, const RegistryValue &value) {
  return QStringLiteral("    %1    %2    %3\n")
      .arg(name.isEmpty() ? QStringLiteral("(Default)") : name, registryTypeName(value.type()),
           displayData(value));
}

int query(Registry &registry, const RegistryKey &key, const QStringList &rest) {
  if (rest.size() == 1) {
    const auto value = registry.value(key, rest.first());
    if (!value)
      return failMissing(registry);
    return print(QStringLiteral("\n%1\n").arg(key.fullPath()) + displayLine(rest.first(), *value));
  }
  const auto values = registry.values(key);
  if (!values)
    return failMissing(registry);
  QString text = QStringLiteral("\n%1\n").arg(key.fullPath());
  for (const RegistryNamedValue &entry : *values)
    text += displayLine(entry.name, entry.value);
  text += QLatin1Char('\n');
  for (const QString &name : registry.subKeyNames(key).value_or(QStringList()))
    text += key.subKey(name).fullPath() + QLatin1Char('\n');
  return print(text);
}

int exportKey(Registry &registry, const RegistryKey &key, const QStringList &rest) {
  QString refused;
  const auto text = exportRegText(registry, key, &refused);
  if (!refused.isEmpty())
    return fail(QStringLiteral("ERROR: cannot export: ") + refused);
  if (!text)
    return failMissing(registry);
  if (rest.isEmpty())
    return print(*text);
  // Written in place, not renamed over: the file may be a device or a pipe.
  QFile file(rest.first());
  const QByteArray bytes = text->toUtf8();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
      !file.flush())
    return fail(QStringLiteral("ERROR: cannot write %1: %2").arg(rest.first(), file.errorString()));
  return 0;
}

int importFile(Registry &registry, const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("ERROR: cannot read %1: %2").arg(path, file.errorString()));
  const RegImport import = parseRegText(file.readAll());
  if (!import.ok())
    return fail(
        QStringLiteral("ERROR: %1:%2: %3").arg(path).arg(import.errorLine).arg(import.error));
  if (!registry.apply(import.batch))
    return fail(QStringLiteral("ERROR: %1").arg(registry.lastError()));
  return print(QStringLiteral("The operation completed successfully.\n"));
}

int remove(Registry &registry, const RegistryKey &key, const QStringList &rest) {
  if (!registry.keyExists(key))
    return failMissing(registry);
  const bool removed =
      rest.isEmpty() ? registry.deleteKeyTree(key) : registry.deleteValue(key, rest.first());
  if (!removed)
    return fail(QStringLiteral("ERROR: %1").arg(registry.lastError()));
  return print(QStringLiteral("The operation completed successfully.\n"));
}

} // namespace

int main(int argc, char *argv[]) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.size() < 2)
    return usage();
  const QString command = args.takeFirst();
  const std::unique_ptr<Registry> registry = createUserRegistry();
  if (command == QLatin1String("import"))
    return args.size() == 1 ? importFile(*registry, args.first()) : usage();
  if (args.size() > 2)
    return usage();
  const auto key = RegistryKey::parse(args.takeFirst(), RegistryView::Default, true);
  if (!key)
    return fail(QStringLiteral("ERROR: Invalid key name."));
  if (command == QLatin1String("query"))
    return query(*registry, *key, args);
  if (command == QLatin1String("export"))
    return exportKey(*registry, *key, args);
  if (command == QLatin1String("delete"))
    return remove(*registry, *key, args);
  return usage();
}
