#include "platform/os/linux/LauncherEntry.h"

#include "platform/os/CommandLine.h"

namespace LauncherEntry {

std::optional<DesktopEntry> build(const Launcher &launcher) {
  DesktopEntry entry;
  entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
  entry.setValue(QStringLiteral("Name"), launcher.name);
  for (auto name = launcher.localNames.begin(); name != launcher.localNames.end(); ++name)
    entry.setValue(QStringLiteral("Name[%1]").arg(name.key()), name.value());
  if (!entry.setExec(launcher.target, CommandLine::split(launcher.arguments)))
    return std::nullopt;
  if (!launcher.workingFolder.isEmpty())
    entry.setValue(QStringLiteral("Path"), launcher.workingFolder);
  if (!launcher.icon.isEmpty())
    entry.setValue(QStringLiteral("Icon"), launcher.icon);
  if (!launcher.comment.isEmpty())
    entry.setValue(QStringLiteral("Comment"), launcher.comment);
  for (auto comment = launcher.localComments.begin(); comment != launcher.localComments.end();
       ++comment)
    entry.setValue(QStringLiteral("Comment[%1]").arg(comment.key()), comment.value());
  if (!launcher.categories.isEmpty())
    entry.setValue(QStringLiteral("Categories"), launcher.categories);
  if (!launcher.windowClass.isEmpty())
    entry.setValue(QStringLiteral("StartupWMClass"), launcher.windowClass);
  return entry;
}

bool write(const QString &path, const Launcher &launcher) {
  const auto entry = build(launcher);
  return entry && entry->save(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther);
}

} // namespace LauncherEntry
