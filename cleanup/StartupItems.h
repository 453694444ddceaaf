#pragma once
// What starts with the user's session: the Run and RunOnce keys of the
// registry store and the XDG autostart folders, listed as JSON and removed
// one by one.
#include <QString>
#include <memory>

class Registry;

class StartupItems {
public:
  StartupItems(); // the current user's registry
  explicit StartupItems(std::shared_ptr<Registry> registry);
  ~StartupItems();

  // {"list": [{command, enabled, location, name, scope, type}, ...]} in
  // source order: the four registry keys, then the machine folders, then
  // the user's folder. A folder item also says what a person looks for: "title"
  // (an entry's Name in the user's language, else the name), "program"
  // (what an entry runs, as written) and "missing" (an application entry
  // for this desktop whose program is gone).
  QString getStartupItems();
  // Removes an item as listed; true when it is gone from the session's start.
  bool removeStartupItem(const QString &type, const QString &location, const QString &name);

private:
  bool removeRegistryItem(const QString &location, const QString &name);
  bool removeFolderItem(const QString &location, const QString &name);

  std::shared_ptr<Registry> registry_;
};
