#include "bridge/SettingsStore.h"

#include <QSettings>
#include <atomic>

#include "base/catalogue/Constants.h"

namespace {

std::atomic<bool> minimizeOnCloseFlag{true};

class SettingsFile : public QSettings {
public:
  SettingsFile()
      : QSettings(QSettings::NativeFormat, QSettings::UserScope, Constants::applicationName(),
                  QStringLiteral("Settings")) {}
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
