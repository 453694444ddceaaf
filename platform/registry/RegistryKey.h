#pragma once
// Where a registry key lives: one of the five roots, a sub-key path of
// backslash-separated names and the view it is reached through.
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, Users, CurrentConfig };

// Default is the process's own view; our programs are 64-bit, so it equals
// View64. View32 redirects HKEY_LOCAL_MACHINE\Software to
// HKEY_LOCAL_MACHINE\Software\WOW6432Node.
enum class RegistryView { Default, View64, View32 };

struct RegistryRootEntry {
  QString name;      // "HKEY_LOCAL_MACHINE"
  QString shortName; // "HKLM"
  RegistryRoot root;
  quint32 predefinedKey; // 0x80000002
};

// The roots in their order of matching.
const QVector<RegistryRootEntry> &registryRootTable();
const RegistryRootEntry &registryRootEntry(RegistryRoot root);
// A full root name ("hkey_current_user" too); with allowShortNames also "HKCU".
std::optional<RegistryRoot> registryRootFromName(const QString &name, bool allowShortNames = false);
// The predefined key's value as a signed 32-bit integer, as scripts pass it.
std::optional<RegistryRoot> registryRootFromPredefinedKey(qint32 value);

struct RegistryRootPrefix {
  RegistryRoot root;
  QString rest; // everything after "ROOT\"
};
// Matches "ROOT\" at the start of path, ignoring case, in the table's order.
std::optional<RegistryRootPrefix> matchRegistryRootPrefix(const QString &path,
                                                          bool allowShortNames = false);

class RegistryKey {
public:
  // path: sub-key names separated by "\"; empty names are skipped.
  explicit RegistryKey(RegistryRoot root, const QString &path = QString(),
                       RegistryView view = RegistryView::Default);

  // "HKEY_CURRENT_USER\Software\Tidewell" or a bare root name.
  static std::optional<RegistryKey> parse(const QString &fullPath,
                                          RegistryView view = RegistryView::Default,
                                          bool allowShortNames = false);

  RegistryRoot root() const { return root_; }
  RegistryView view() const { return view_; }
  const QStringList &names() const { return names_; }
  QString path() const { return names_.join(QLatin1Char('\\')); }
  QString fullPath() const; // root name, then the path
  bool isRoot() const { return names_.isEmpty(); }

  RegistryKey subKey(const QString &relativePath) const;
  RegistryKey inView(RegistryView view) const;

private:
  RegistryRoot root_;
  QStringList names_;
  RegistryView view_;
};

// The comparison form of a key or value name: names match without regard to case.
QString registryFoldedName(const QString &name);
