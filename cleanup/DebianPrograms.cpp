#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "cleanup/LinuxPrograms.h"
#include "cleanup/MenuEntry.h"
#include "cleanup/PackageNames.h"
#include "platform/os/PackageOwner.h"

namespace LinuxPrograms {
namespace {

struct Package {
  QString name;
  QString architecture;
  QString version;
  QString maintainer;
  quint64 installedSize = 0; // KiB
};

// The installed packages of dpkg's status file, by name and by name:arch.
QHash<QString, Package> installedPackages(const QString &statusFile) {
  QHash<QString, Package> packages;
  QFile file(statusFile);
  if (!file.open(QIODevice::ReadOnly))
    return packages;
  Package package;
  bool installed = false;
  const auto finish = [&] {
    // A name or field that is not Debian's could pass for an option or
    // another field of PackageKit's id.
    if (installed && PackageNames::isDebianPackage(package.name) &&
        PackageNames::isDebianVersion(package.version) &&
        PackageNames::isDebianArchitecture(package.architecture)) {
      packages.insert(package.name, package);
      packages.insert(package.name + QLatin1Char(':') + package.architecture, package);
    }
    package = Package();
    installed = false;
  };
  for (const QByteArray &line : file.readAll().split('\n')) {
    if (line.isEmpty()) {
      finish();
      continue;
    }
    if (line.startsWith(' ') || line.startsWith('\t'))
      continue; // a continuation line
    const int colon = line.indexOf(':');
    if (colon <= 0)
      continue;
    const QByteArray field = line.left(colon);
    const auto value = [&] { return QString::fromUtf8(line.mid(colon + 1)).trimmed(); };
    if (field == "Package")
      package.name = value();
    else if (field == "Status")
      installed = value().endsWith(QLatin1String(" installed"));
    else if (field == "Architecture")
      package.architecture = value();
    else if (field == "Version")
      package.version = value();
    else if (field == "Maintainer")
      package.maintainer = value();
    else if (field == "Installed-Size")
      package.installedSize = value().toULongLong();
  }
  finish();
  return packages;
}

// "Jane Doe <jane@example.org>" shows as its name.
QString personName(const QString &maintainer) {
  const int mail = maintainer.indexOf(QLatin1Char('<'));
  return (mail > 0 ? maintainer.left(mail) : maintainer).trimmed();
}

} // namespace

QVector<InstalledProgram> debianPackages(const ProgramRoots &roots, IconFinder &icons) {
  QVector<InstalledProgram> programs;
  const QHash<QString, Package> packages = installedPackages(roots.dpkgStatus);
  if (packages.isEmpty())
    return programs;
  // System folders only: the user's own entries belong to no package.
  const QList<QPair<QString, MenuEntry>> entries = shownMenuEntries(roots.applicationDirs);
  QStringList entryFiles;
  for (const auto &entry : entries)
    entryFiles.append(entry.first);
  const QHash<QString, QString> owners = PackageOwner::owners(entryFiles, roots.dpkgInfo);

  // One program per package: the entry named after the package, else its first.
  QHash<QString, int> listed;
  for (const auto &entry : entries) {
    const QString owner = owners.value(entry.first);
    const auto package = packages.constFind(owner);
    if (owner.isEmpty() || package == packages.constEnd())
      continue;
    const bool isMain = QFileInfo(entry.first).completeBaseName() == package->name;
    const auto seen = listed.constFind(package->name);
    if (seen != listed.constEnd() && !isMain)
      continue;
    InstalledProgram program;
    program.name = entry.second.localizedName();
    program.publisher = personName(package->maintainer);
    program.version = package->version;
    program.installDate =
        installDateOf(QDir(roots.dpkgInfo).filePath(owner + QStringLiteral(".list")));
    program.estimatedSize = package->installedSize;
    program.displayIcon = icons.find(entry.second.value(QStringLiteral("Icon")));
    program.uninstallString = QStringLiteral("pkcon remove ") + package->name;
    program.action.kind = UninstallAction::Kind::DebianPackage;
    program.action.package = package->name;
    program.action.packageId = QStringLiteral("%1;%2;%3;installed")
                                   .arg(package->name, package->version, package->architecture);
    if (seen != listed.constEnd()) {
      programs[*seen] = program;
    } else {
      listed.insert(package->name, programs.size());
      programs.append(program);
    }
  }
  return programs;
}

QString installDateOf(const QString &path) {
  const QFileInfo info(path);
  return info.exists() ? info.lastModified().toString(QStringLiteral("yyyyMMdd")) : QString();
}

} // namespace LinuxPrograms
