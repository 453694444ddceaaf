#pragma once
// The [Desktop Entry] group of a menu entry file, read as a menu reads it.
#include <QHash>
#include <QString>
#include <QStringList>

class MenuEntry {
public:
  // Empty (not valid) when the file cannot be read or has no such group.
  static MenuEntry read(const QString &path);

  bool isValid() const { return !values_.isEmpty(); }
  // An application a user sees in the menu: not NoDisplay, not Hidden.
  bool isShownApplication() const;
  QString value(const QString &key) const { return values_.value(key); }
  // Name in the user's language where the entry has it.
  QString localizedName() const;
  // The program and arguments of Exec, quoting and escapes removed.
  QStringList execArguments() const;

private:
  QHash<QString, QString> values_;
};

// Every *.desktop file in folders listed by menu id (the path below the
// folder with "/" as "-"); an id in an earlier folder hides later ones.
QList<QPair<QString, MenuEntry>> shownMenuEntries(const QStringList &folders);
