#include "bridge/SettingsStore.h"

#include <QFileInfo>
#include <QSettings>
#include <atomic>

#include "base/catalogue/Constants.h"
#include "base/files/PrivateFiles.h"

namespace {

std::atomic<bool> minimizeOnCloseFlag{true};

// QSettings writes through a temporary file renamed into place under its
// lock file, and gives the new file the old one's mode: a private file made
// before the first write stays private.
class SettingsFile : public QSettings {
public:
  SettingsFile()
      : QSettings(QSettings::NativeFormat, QSettings::UserScope, Constants::applicationName(),
                  QStringLiteral("Settings")) {
    if (PrivateFiles::makeFolder(QFileInfo(fileName()).absolutePath()))
      PrivateFiles::makeFile(fileName());
  }
};

} // namespace

QString SettingsStore::value(const QString &key, const QString &defaultValue) const {
  return SettingsFile().value(key, defaultValue).toString();
}

bool SettingsStore::setValue(const QString &key, const QString &value) {
  if (key.isEmpty())
    return false;
  SettingsFile settings;
  settings.setValue(key, value);
  settings.sync();
  return settings.status() == QSettings::NoError;
}

bool SettingsStore::setMinimizeOnClose(bool flag) {
  minimizeOnCloseFlag = flag;
  return setValue(QStringLiteral("minimizeOnClose"),
                  flag ? QStringLiteral("1") : QStringLiteral("0"));
}

bool SettingsStore::minimizeOnClose() {
  return minimizeOnCloseFlag;
}
