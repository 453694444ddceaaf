#pragma once
// The registry methods of the script object: reads in the 64-bit view,
// QSettings-style writes and removals in the default view, and key removal
// by path, all over the platform's registry.
#include <QString>
#include <memory>

class Registry;

class RegistryService {
public:
  RegistryService(); // the current user's registry
  explicit RegistryService(std::shared_ptr<Registry> registry);
  ~RegistryService();

  QString getRegistryStringValue(int root, const QString &dir, const QString &key);
  bool setRegistryString(const QString &path, const QString &name, const QString &value);
  bool setRegistryIntValue(const QString &path, const QString &name, int value);
  bool removeRegistry(const QString &path, const QString &name);
  bool removeRegistryKey(const QString &path);

private:
  std::shared_ptr<Registry> registry_;
};
