#include "system/registry/RegistryService.h"

#include <QRegularExpression>

#include "base/log/Log.h"
#include "platform/registry/RegistryFactory.h"

namespace {

constexpr int stringBufferSize = 1024; // bytes, terminating NUL included

std::string ansi(const QString &text) {
  return text.toLocal8Bit().toStdString();
}

// The key a QSettings object on this registry path would write to.
std::optional<RegistryKey> settingsKey(QString path) {
  path.replace(QLatin1Char('/'), QLatin1Char('\\'));
  while (path.startsWith(QLatin1Char('\\')))
    path.remove(0, 1);
  return RegistryKey::parse(path, RegistryView::Default, true);
}

// A QSettings key: "/" and "\" separate sub-keys, empty parts vanish.
QStringList settingsNames(const QString &name) {
  static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
  return name.split(separators, Qt::SkipEmptyParts);
}

// QSettings addresses a key's default value as "Default" or ".".
QString registryValueName(const QString &name) {
  return name == QLatin1String("Default") || name == QLatin1String(".") ? QString() : name;
}

struct SettingsTarget {
  RegistryKey key;   // the path and every part of the name but the last
  QString valueName; // the last part, "" for the default value
  QString lastName;  // the last part as a sub-key name
};

std::optional<SettingsTarget> settingsTarget(const QString &path, const QString &name) {
  const auto key = settingsKey(path);
  QStringList names = settingsNames(name);
  if (!key || names.isEmpty())
    return std::nullopt;
  const QString last = names.takeLast();
  return SettingsTarget{key->subKey(names.join(QLatin1Char('\\'))), registryValueName(last), last};
}

// What the ANSI read of a value yields: strings converted to the locale's
// encoding, any other type as its raw bytes.
QByteArray ansiData(const RegistryValue &value) {
  switch (value.type()) {
  case RegistryType::String:
  case RegistryType::ExpandString:
  case RegistryType::MultiString:
    return value.dataAsUtf16().toLocal8Bit();
  default:
    return value.data();
  }
}

} // namespace

RegistryService::RegistryService() : registry_(createUserRegistry()) {}

RegistryService::RegistryService(std::shared_ptr<Registry> registry)
    : registry_(std::move(registry)) {}

RegistryService::~RegistryService() = default;

QString RegistryService::getRegistryStringValue(int root, const QString &dir, const QString &key) {
  const QByteArray ansiDir = dir.toLocal8Bit();
  const QByteArray ansiKey = key.toLocal8Bit();
  const auto predefined = registryRootFromPredefinedKey(root);
  if (!predefined)
    return QString();
  const auto value = registry_->value(
      RegistryKey(*predefined, QString::fromLocal8Bit(ansiDir), RegistryView::View64),
      QString::fromLocal8Bit(ansiKey));
  if (!value)
    return QString();
  QByteArray text = ansiData(*value);
  if (text.size() > stringBufferSize)
    return QString();
  const int nul = text.indexOf('\0');
  if (nul >= 0)
    text.truncate(nul);
  if (!text.isEmpty())
    Log::info("NativeUtil", "get registry string value. dir={} key={} val={}",
              ansiDir.toStdString(), ansiKey.toStdString(), text.toStdString());
  return QString::fromLocal8Bit(text);
}

bool RegistryService::setRegistryString(const QString &path, const QString &name,
                                        const QString &value) {
  // A store that cannot be written, or a path outside every root, says so:
  // the caller must not take a lost write for a kept one.
  const auto target = settingsTarget(path, name);
  return target &&
         registry_->setValue(target->key, target->valueName, RegistryValue::fromString(value));
}

bool RegistryService::setRegistryIntValue(const QString &path, const QString &name, int value) {
  const auto target = settingsTarget(path, name);
  return target && registry_->setValue(target->key, target->valueName,
                                       RegistryValue::fromDWord(quint32(value)));
}

bool RegistryService::removeRegistry(const QString &path, const QString &name) {
  if (const auto target = settingsTarget(path, name)) {
    // The value of that name and the sub-key of that name, as QSettings::remove does.
    RegistryBatch batch;
    batch.deleteValue(target->key, target->valueName);
    batch.deleteKeyTree(target->key.subKey(target->lastName));
    registry_->apply(batch);
    return true;
  }
  const auto key = settingsKey(path);
  if (!key)
    return true;
  // An empty name clears the whole key and deletes it; never a whole root.
  if (key->isRoot())
    return false;
  RegistryBatch batch;
  batch.deleteKeyTree(*key);
  registry_->apply(batch);
  return true;
}

bool RegistryService::removeRegistryKey(const QString &path) {
  QString registryPath = path;
  registryPath.replace(QLatin1Char('/'), QLatin1Char('\\'));
  const auto prefix = matchRegistryRootPrefix(registryPath);
  if (!prefix) {
    Log::info("NativeUtil", "unsupported registry root: {}", ansi(registryPath));
    return false;
  }
  // Everything below a root is never deleted at once.
  const RegistryKey key(prefix->root, prefix->rest);
  const bool result = !key.isRoot() && registry_->deleteKeyTree(key);
  Log::info("NativeUtil", "remove registry key {} result: {}", ansi(registryPath), result);
  return result;
}
