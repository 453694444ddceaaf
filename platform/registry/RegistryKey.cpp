#include "platform/registry/RegistryKey.h"

const QVector<RegistryRootEntry> &registryRootTable() {
  static const QVector<RegistryRootEntry> table = {
      {QStringLiteral("HKEY_LOCAL_MACHINE"), QStringLiteral("HKLM"), RegistryRoot::LocalMachine,
       0x80000002u},
      {QStringLiteral("HKEY_CURRENT_USER"), QStringLiteral("HKCU"), RegistryRoot::CurrentUser,
       0x80000001u},
      {QStringLiteral("HKEY_CLASSES_ROOT"), QStringLiteral("HKCR"), RegistryRoot::ClassesRoot,
       0x80000000u},
      {QStringLiteral("HKEY_USERS"), QStringLiteral("HKU"), RegistryRoot::Users, 0x80000003u},
      {QStringLiteral("HKEY_CURRENT_CONFIG"), QStringLiteral("HKCC"), RegistryRoot::CurrentConfig,
       0x80000005u},
  };
  return table;
}

const RegistryRootEntry &registryRootEntry(RegistryRoot root) {
  for (const RegistryRootEntry &entry : registryRootTable()) {
    if (entry.root == root)
      return entry;
  }
  return registryRootTable().first();
}

std::optional<RegistryRoot> registryRootFromName(const QString &name, bool allowShortNames) {
  for (const RegistryRootEntry &entry : registryRootTable()) {
    if (name.compare(entry.name, Qt::CaseInsensitive) == 0 ||
        (allowShortNames && name.compare(entry.shortName, Qt::CaseInsensitive) == 0))
      return entry.root;
  }
  return std::nullopt;
}

std::optional<RegistryRoot> registryRootFromPredefinedKey(qint32 value) {
  for (const RegistryRootEntry &entry : registryRootTable()) {
    if (quint32(value) == entry.predefinedKey)
      return entry.root;
  }
  return std::nullopt;
}

std::optional<RegistryRootPrefix> matchRegistryRootPrefix(const QString &path,
                                                          bool allowShortNames) {
  for (const RegistryRootEntry &entry : registryRootTable()) {
    for (const QString &name : {entry.name, entry.shortName}) {
      if (name == entry.shortName && !allowShortNames)
        continue;
      const QString prefix = name + QLatin1Char('\\');
      if (path.startsWith(prefix, Qt::CaseInsensitive))
        return RegistryRootPrefix{entry.root, path.mid(prefix.size())};
    }
  }
  return std::nullopt;
}

RegistryKey::RegistryKey(RegistryRoot root, const QString &path, RegistryView view)
    : root_(root), names_(path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)), view_(view) {}

std::optional<RegistryKey> RegistryKey::parse(const QString &fullPath, RegistryView view,
                                              bool allowShortNames) {
  if (const auto root = registryRootFromName(fullPath, allowShortNames))
    return RegistryKey(*root, QString(), view);
  if (const auto prefix = matchRegistryRootPrefix(fullPath, allowShortNames))
    return RegistryKey(prefix->root, prefix->rest, view);
  return std::nullopt;
}

QString RegistryKey::fullPath() const {
  const QString &rootName = registryRootEntry(root_).name;
  return names_.isEmpty() ? rootName : rootName + QLatin1Char('\\') + path();
}

RegistryKey RegistryKey::subKey(const QString &relativePath) const {
  RegistryKey key(root_, relativePath, view_);
  key.names_ = names_ + key.names_;
  return key;
}

RegistryKey RegistryKey::inView(RegistryView view) const {
  RegistryKey key = *this;
  key.view_ = view;
  return key;
}

QString registryFoldedName(const QString &name) {
  return name.toCaseFolded();
}
