#pragma once
// The user's settings of the application pages: QSettings in its native
// format (~/.config/Tidewell/Settings.conf), string keys and string values,
// opened anew for each call so that other processes see each write at once.
// Also the process's minimise-on-close flag, which starts true in every
// process whatever was stored.
#include <QString>

class SettingsStore {
public:
  QString value(const QString &key, const QString &defaultValue) const;
  // False when the store could not be written.
  bool setValue(const QString &key, const QString &value);
  // Sets the process flag and stores "minimizeOnClose" as "1" or "0"; false
  // when the store could not be written (the flag is set all the same).
  bool setMinimizeOnClose(bool flag);

  static bool minimizeOnClose();
};
