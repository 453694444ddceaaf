#include "cleanup/InstalledPrograms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

#include "base/log/Log.h"
#include "cleanup/LinuxPrograms.h"
#include "cleanup/ProgramUninstaller.h"
#include "cleanup/RegistryPrograms.h"
#include "platform/os/PackageOwner.h"
#include "platform/registry/RegistryFactory.h"

InstalledPrograms::InstalledPrograms()
    : InstalledPrograms(createUserRegistry(), ProgramRoots::system()) {}

InstalledPrograms::InstalledPrograms(std::shared_ptr<Registry> registry, ProgramRoots roots,
                                     QString packageKitBus)
    : registry_(std::move(registry)), roots_(std::move(roots)),
      packageKitBus_(std::move(packageKitBus)) {}

InstalledPrograms::~InstalledPrograms() = default;

QString InstalledPrograms::getInstalledPrograms() {
  IconFinder icons(roots_.iconDirs, roots_.iconTheme, roots_.pixmapDir);
  const QVector<InstalledProgram> packages = LinuxPrograms::debianPackages(roots_, icons);
  QStringList packageNames;
  for (const InstalledProgram &package : packages)
    packageNames.append(package.action.package);
  QVector<InstalledProgram> found;
  for (const InstalledProgram &program : RegistryPrograms::read(*registry_)) {
    // A registration of a folder a listed package installed (an installer
    // run over it) is that package, listed once, as the package.
    if (!program.installLocation.isEmpty() && !packageNames.isEmpty() &&
        !PackageOwner::of(program.installLocation, roots_.dpkgInfo, packageNames).isEmpty())
      continue;
    found.append(program);
  }
  found += packages;
  found += LinuxPrograms::flatpakApps(roots_);
  found += LinuxPrograms::snapApps(roots_);
  found += LinuxPrograms::appImages(roots_, icons);

  QVector<InstalledProgram> programs;
  QSet<QString> keys;
  for (const InstalledProgram &program : found) {
    const QString key = program.name + QLatin1Char('|') + program.uninstallString;
    if (keys.contains(key))
      continue;
    keys.insert(key);
    programs.append(program);
  }
  std::stable_sort(programs.begin(), programs.end(),
                   [](const InstalledProgram &a, const InstalledProgram &b) {
                     return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
                   });

  listed_.clear();
  QJsonArray list;
  for (const InstalledProgram &program : programs) {
    const QString command = program.uninstallString.trimmed();
    if (!command.isEmpty() && !listed_.contains(command))
      listed_.insert(command, program.action);
    list.append(QJsonObject{{"name", program.name},
                            {"publisher", program.publisher},
                            {"version", program.version},
                            {"installDate", program.installDate},
                            {"uninstallString", program.uninstallString},
                            {"displayIcon", program.displayIcon},
                            {"estimatedSize", double(program.estimatedSize)},
                            {"systemComponent", false}});
  }
  return QString::fromUtf8(QJsonDocument(QJsonObject{{"list", list}}).toJson());
}

bool InstalledPrograms::uninstallProgram(const QString &command) {
  const QString trimmed = command.trimmed();
  if (trimmed.isEmpty()) {
    Log::info("NativeUtil", "uninstall command is empty");
    return false;
  }
  // Pages pass back a string of the list; anything else could be any command.
  const auto action = listed_.constFind(trimmed);
  if (action == listed_.constEnd()) {
    Log::info("NativeUtil", "uninstall command is not in the program list: {}",
              trimmed.toLocal8Bit().toStdString());
    return false;
  }
  ProgramUninstaller uninstaller(PackageRemoval(roots_.aptGet, packageKitBus_));
  return uninstaller.start(trimmed, *action);
}
