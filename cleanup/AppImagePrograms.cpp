#include <QDir>
#include <QFileInfo>
#include <QHash>

#include "cleanup/LinuxPrograms.h"
#include "cleanup/MenuEntry.h"

namespace LinuxPrograms {

QVector<InstalledProgram> appImages(const ProgramRoots &roots, IconFinder &icons) {
  QVector<InstalledProgram> programs;
  QHash<QString, int> listed; // image file -> its program
  for (const auto &entry : shownMenuEntries({roots.userApplicationDir})) {
    const QString image = entry.second.execArguments().value(0);
    const QFileInfo info(image);
    if (!image.endsWith(QLatin1String(".AppImage"), Qt::CaseInsensitive) ||
        !QDir::isAbsolutePath(image) || !info.isFile())
      continue;
    const auto seen = listed.constFind(image);
    if (seen != listed.constEnd()) {
      InstalledProgram &program = programs[*seen];
      program.action.command.append(entry.first);
      if (program.version.isEmpty())
        program.version = entry.second.value(QStringLiteral("X-AppImage-Version"));
      continue;
    }
    InstalledProgram program;
    program.name = entry.second.localizedName();
    program.version = entry.second.value(QStringLiteral("X-AppImage-Version"));
    program.installDate = LinuxPrograms::installDateOf(image);
    program.estimatedSize = quint64(info.size()) / 1024;
    program.displayIcon = icons.find(entry.second.value(QStringLiteral("Icon")));
    program.uninstallString = QStringLiteral("rm \"%1\"").arg(image);
    program.action.kind = UninstallAction::Kind::AppImage;
    program.action.package = image;
    program.action.command = QStringList{entry.first};
    listed.insert(image, programs.size());
    programs.append(program);
  }
  return programs;
}

} // namespace LinuxPrograms
