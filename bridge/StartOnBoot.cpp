#include "bridge/StartOnBoot.h"

#include <QDir>
#include <QFileInfo>

#include "base/catalogue/Constants.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/linux/DesktopEntry.h"
#include "platform/os/linux/XdgAutostart.h"

StartOnBoot::StartOnBoot() : StartOnBoot(OsPlatform::systemInfo()->programFile()) {}

StartOnBoot::StartOnBoot(QString programFile) : programFile_(std::move(programFile)) {}

QString StartOnBoot::entryPath() {
  return XdgAutostart::userFolder() + QLatin1Char('/') + Constants::applicationName() +
         QStringLiteral(".desktop");
}

bool StartOnBoot::isStartupOnBoot() const {
  return XdgAutostart::wouldStart(entryPath());
}

bool StartOnBoot::setStartupOnBoot(bool enable) const {
  const QString path = entryPath();
  if (!enable) {
    const QFileInfo file(path);
    return (!file.exists() && !file.isSymLink()) || QFile::remove(path);
  }
  if (programFile_.isEmpty())
    return false;
  DesktopEntry entry;
  entry.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
  entry.setValue(QStringLiteral("Name"), Constants::applicationName());
  const QMap<QString, QString> &names = Constants::localApplicationNames();
  for (auto name = names.begin(); name != names.end(); ++name)
    entry.setValue(QStringLiteral("Name[%1]").arg(name.key()), name.value());
  return entry.setExec(programFile_, {}) && QDir().mkpath(XdgAutostart::userFolder()) &&
         entry.save(path,
                    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}
