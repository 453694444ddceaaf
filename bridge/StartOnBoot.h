#pragma once
// Start-on-boot of the running program: the user's XDG autostart entry
// Tidewell.desktop, which the session starts when the user logs on.
#include <QString>

class StartOnBoot {
public:
  StartOnBoot(); // the running program
  explicit StartOnBoot(QString programFile);

  // The entry exists and the session would start it; desktops switch an
  // entry off by adding Hidden=true or X-GNOME-Autostart-enabled=false.
  bool isStartupOnBoot() const;
  // Writes the entry for the program, or removes it (true also when there
  // was none).
  bool setStartupOnBoot(bool enable) const;

  static QString entryPath();

private:
  QString programFile_;
};
