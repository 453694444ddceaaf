#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include "cleanup/LinuxPrograms.h"
#include "cleanup/MenuEntry.h"
#include "cleanup/PackageNames.h"
#include "platform/storage/FileName.h"
#include "platform/storage/FileWalker.h"

namespace LinuxPrograms {
namespace {

QString readText(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString firstMatch(const QString &text, const QString &pattern) {
  return QRegularExpression(pattern).match(text).captured(1).trimmed();
}

// The newest release and the developer from an app's AppStream file.
void readAppStream(const QString &filesDir, const QString &appId, InstalledProgram &program) {
  for (const QString &name : {QStringLiteral("share/metainfo/%1.metainfo.xml"),
                              QStringLiteral("share/metainfo/%1.appdata.xml"),
                              QStringLiteral("share/appdata/%1.appdata.xml")}) {
    const QString text = readText(filesDir + QLatin1Char('/') + name.arg(appId));
    if (text.isEmpty())
      continue;
    program.version = firstMatch(text, QStringLiteral("<release[^>]*\\sversion=\"([^\"]*)\""));
    program.publisher = firstMatch(text, QStringLiteral("<developer_name[^>]*>([^<]*)<"));
    if (program.publisher.isEmpty())
      program.publisher =
          firstMatch(text, QStringLiteral("<developer[^>]*>\\s*<name[^>]*>([^<]*)<"));
    return;
  }
}

// Through the walker: links are not followed and a file hard-linked many
// times (Flatpak deploys through hard links) counts once.
quint64 folderKiB(const QString &folder) {
  const UniqueFd root = FileWalker::openDirectory(FileName::toBytes(folder), false);
  if (!root.isValid())
    return 0;
  quint64 bytes = 0;
  QSet<FileId> counted;
  FileWalker walker;
  walker.walk(root.get(), [&](const WalkEntry &entry) {
    if (entry.type == EntryType::File && (entry.linkCount < 2 || !counted.contains(entry.id))) {
      if (entry.linkCount > 1)
        counted.insert(entry.id);
      bytes += quint64(entry.size);
    }
    return FileWalker::Action::Continue;
  });
  return bytes / 1024;
}

} // namespace

QVector<InstalledProgram> flatpakApps(const ProgramRoots &roots) {
  QVector<InstalledProgram> programs;
  QSet<QString> listed;
  for (int i = 0; i < roots.flatpakInstallations.size(); ++i) {
    const QString installation = roots.flatpakInstallations[i];
    const QString scope = i == 0 ? QStringLiteral("--user") : QStringLiteral("--system");
    IconFinder icons({installation + QStringLiteral("/exports/share/icons")}, QString(), QString());
    // The entry named after the app first, so that it names the program.
    auto entries = shownMenuEntries({installation + QStringLiteral("/exports/share/applications")});
    std::stable_partition(entries.begin(), entries.end(), [](const auto &entry) {
      return QFileInfo(entry.first).completeBaseName() ==
             entry.second.value(QStringLiteral("X-Flatpak"));
    });
    for (const auto &entry : entries) {
      const QString appId = entry.second.value(QStringLiteral("X-Flatpak"));
      if (!PackageNames::isFlatpakAppId(appId) || listed.contains(scope + appId))
        continue;
      const QString active = installation + QStringLiteral("/app/%1/current/active").arg(appId);
      if (!QFileInfo(active).isDir())
        continue;
      listed.insert(scope + appId);
      InstalledProgram program;
      program.name = entry.second.localizedName();
      readAppStream(active + QStringLiteral("/files"), appId, program);
      program.installDate = installDateOf(active);
      program.estimatedSize = folderKiB(active + QStringLiteral("/files"));
      program.displayIcon = icons.find(entry.second.value(QStringLiteral("Icon")));
      const QStringList command{roots.flatpak,        QStringLiteral("uninstall"), scope,
                                QStringLiteral("-y"), QStringLiteral("--"),        appId};
      program.uninstallString = QStringLiteral("flatpak uninstall %1 -y %2").arg(scope, appId);
      program.action.kind = UninstallAction::Kind::Sandboxed;
      program.action.package = appId;
      program.action.command = command;
      programs.append(program);
    }
  }
  return programs;
}

QVector<InstalledProgram> snapApps(const ProgramRoots &roots) {
  QVector<InstalledProgram> programs;
  QSet<QString> listed;
  for (const auto &entry : shownMenuEntries({roots.snapApplicationDir})) {
    QString name = entry.second.value(QStringLiteral("X-SnapInstanceName"));
    if (name.isEmpty()) // snapd names the files SNAP_APP.desktop
      name = QFileInfo(entry.first).completeBaseName().section(QLatin1Char('_'), 0, 0);
    const QString current = roots.snapDir + QLatin1Char('/') + name + QStringLiteral("/current");
    if (!PackageNames::isSnapInstanceName(name) || listed.contains(name) ||
        !QFileInfo(current).isDir())
      continue;
    listed.insert(name);
    InstalledProgram program;
    program.name = entry.second.localizedName();
    const QString manifest = readText(current + QStringLiteral("/meta/snap.yaml"));
    program.version = firstMatch(manifest, QStringLiteral("(?m)^version:\\s*'?\"?([^'\"\\n]*)"));
    program.installDate = installDateOf(current);
    const QString icon = entry.second.value(QStringLiteral("Icon"));
    program.displayIcon = QDir::isAbsolutePath(icon) && QFileInfo(icon).isFile() ? icon : QString();
    program.uninstallString = QStringLiteral("snap remove ") + name;
    program.action.kind = UninstallAction::Kind::Sandboxed;
    program.action.package = name;
    program.action.command =
        QStringList{roots.snap, QStringLiteral("remove"), QStringLiteral("--"), name};
    programs.append(program);
  }
  return programs;
}

} // namespace LinuxPrograms
