#include "cleanup/StartupItems.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "base/log/Log.h"
#include "platform/os/linux/DesktopEntry.h"
#include "platform/os/linux/XdgAutostart.h"
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFactory.h"

namespace {

struct RegistrySource {
  RegistryRoot root;
  const char *subKey;
};

// The registry sources in list order; the folder sources follow them.
const RegistrySource registrySources[] = {
    {RegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {RegistryRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {RegistryRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {RegistryRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
};

// Enumeration stops at the first value whose name or data does not fit the
// buffers the values are read into.
constexpr int nameBufferChars = 256; // with the terminating NUL
constexpr int dataBufferBytes = 4096;

QJsonObject item(const QString &name, const QString &command, const QString &location,
                 const QString &type, bool machine, bool enabled) {
  return QJsonObject{{"name", name},
                     {"command", command},
                     {"location", location},
                     {"type", type},
                     {"scope", machine ? QStringLiteral("machine") : QStringLiteral("user")},
                     {"enabled", enabled}};
}

void appendRegistryItems(Registry &registry, const RegistrySource &source, QJsonArray &list) {
  const RegistryKey key(source.root, QLatin1String(source.subKey), RegistryView::View64);
  const auto values = registry.values(key);
  if (!values)
    return;
  const QString location = key.fullPath();
  for (const RegistryNamedValue &value : *values) {
    if (value.name.size() >= nameBufferChars || value.value.data().size() > dataBufferBytes)
      return;
    const auto command = value.value.toString();
    if (command) // REG_SZ and REG_EXPAND_SZ, unexpanded
      list.append(item(value.name, *command, location, QStringLiteral("registry"),
                       source.root == RegistryRoot::LocalMachine, true));
  }
}

// Entries of the folder that the session reads, each name once: a file
// masked by a same-named one earlier in the search order is left out.
void appendFolderItems(const QString &folder, bool machine, QJsonArray &list) {
  for (const QString &name : XdgAutostart::entryNames(folder)) {
    if (XdgAutostart::winningFolder(name) != folder)
      continue;
    const QString path = QFileInfo(folder + QLatin1Char('/') + name).absoluteFilePath();
    const auto entry = DesktopEntry::load(path);
    const auto state =
        entry ? XdgAutostart::entryState(*entry) : XdgAutostart::EntryState::NotApplication;
    QJsonObject listed = item(name, path, folder, QStringLiteral("folder"), machine,
                              state == XdgAutostart::EntryState::Starts);
    // What a person knows the entry by, and why it may not start.
    const QString title = entry ? entry->localeValue(QStringLiteral("Name")) : QString();
    listed.insert(QStringLiteral("title"), title.isEmpty() ? name : title);
    listed.insert(QStringLiteral("program"), entry ? XdgAutostart::program(*entry) : QString());
    listed.insert(QStringLiteral("missing"), state == XdgAutostart::EntryState::ProgramMissing);
    list.append(listed);
  }
}

// A user entry that stops the session from starting the entries of that
// name: it keeps the masked entry's name for people who look at it.
bool writeMask(const QString &maskedPath, const QString &name) {
  const auto masked = DesktopEntry::load(maskedPath);
  QString title = masked ? masked->value(QStringLiteral("Name")) : QString();
  if (title.isEmpty())
    title = QFileInfo(name).completeBaseName();
  DesktopEntry mask;
  mask.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
  mask.setValue(QStringLiteral("Name"), title);
  mask.setBoolean(QStringLiteral("Hidden"), true);
  const QString folder = XdgAutostart::userFolder();
  return QDir().mkpath(folder) &&
         mask.save(folder + QLatin1Char('/') + name,
                   QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

bool existsOrIsLink(const QString &path) {
  const QFileInfo file(path);
  return file.exists() || file.isSymLink();
}

} // namespace

StartupItems::StartupItems() : registry_(createUserRegistry()) {}

StartupItems::StartupItems(std::shared_ptr<Registry> registry) : registry_(std::move(registry)) {}

StartupItems::~StartupItems() = default;

QString StartupItems::getStartupItems() {
  QJsonArray list;
  for (const RegistrySource &source : registrySources)
    appendRegistryItems(*registry_, source, list);
  const QString userFolder = XdgAutostart::userFolder();
  for (const QString &folder : XdgAutostart::machineFolders()) {
    if (folder != userFolder)
      appendFolderItems(folder, true, list);
  }
  appendFolderItems(userFolder, false, list);
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool StartupItems::removeStartupItem(const QString &type, const QString &location,
                                     const QString &name) {
  Log::info("NativeUtil", "remove startup item. type={} location={} name={}", type.toStdString(),
            location.toStdString(), name.toStdString());
  if (type == QLatin1String("registry"))
    return removeRegistryItem(location, name);
  if (type == QLatin1String("folder"))
    return removeFolderItem(location, name);
  return false;
}

bool StartupItems::removeRegistryItem(const QString &location, const QString &name) {
  const int separator = location.indexOf(QLatin1Char('\\'));
  if (separator < 0)
    return false;
  const auto root = registryRootFromName(location.left(separator));
  if (!root)
    return false;
  const RegistryKey key(*root, location.mid(separator + 1), RegistryView::View64);
  return registry_->keyExists(key) && registry_->deleteValue(key, name);
}

bool StartupItems::removeFolderItem(const QString &location, const QString &name) {
  // Only an entry of one of the autostart folders, named as listed: a page
  // cannot point this at any other file.
  const QString folder = QDir::cleanPath(location);
  if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
      name == QLatin1String("..") || !XdgAutostart::searchOrder().contains(folder))
    return false;
  const QString path = folder + QLatin1Char('/') + name;
  if (!existsOrIsLink(path) || QFileInfo(path).isDir())
    return false;
  const QString userFolder = XdgAutostart::userFolder();
  if (folder != userFolder) {
    // A machine entry is never edited; a user entry of the same name
    // already keeps the session from reading it.
    return existsOrIsLink(userFolder + QLatin1Char('/') + name) || writeMask(path, name);
  }
  // Deleting a user entry that masks a machine one would bring that back.
  for (const QString &machineFolder : XdgAutostart::machineFolders()) {
    if (machineFolder != userFolder && QFileInfo(machineFolder + QLatin1Char('/') + name).isFile())
      return writeMask(path, name);
  }
  return QFile::remove(path);
}
