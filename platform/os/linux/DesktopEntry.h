#pragma once
// A freedesktop desktop entry: read with the group and key rules, changed key
// by key, and written back atomically. Keys are read from and written to the
// "Desktop Entry" group; other groups, comments and localised keys of a file
// that was read are kept as they stand.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

class DesktopEntry {
public:
  // An empty entry; the first key set opens its "Desktop Entry" group.
  DesktopEntry() = default;

  // The entry in a file; nothing when it cannot be read or has no "Desktop
  // Entry" group. Lines that are neither groups, keys nor comments are kept
  // but not read.
  static std::optional<DesktopEntry> load(const QString &path);
  static std::optional<DesktopEntry> parse(const QByteArray &text);

  bool contains(const QString &key) const;
  // The value with the string escapes undone; empty when absent.
  QString value(const QString &key) const;
  // The value for the user's language, as desktops show it: key[ll_CC],
  // then key[ll], then key itself.
  QString localeValue(const QString &key) const;
  // "true", "1", "yes", "on" (any case) are true, their opposites false;
  // nothing for anything else.
  std::optional<bool> boolean(const QString &key) const;
  // A ";"-separated list.
  QStringList list(const QString &key) const;
  // The Exec command line split into its words with quoting undone; field
  // codes and "%%" are left in place, as launchers do when they look up the
  // program. Nothing when Exec is absent or its quoting is broken.
  std::optional<QStringList> execArguments() const;

  void setValue(const QString &key, const QString &value);
  void setBoolean(const QString &key, bool value);
  void setList(const QString &key, const QStringList &values);
  // Exec starting program with each argument as one word. False (entry
  // unchanged) when no launcher could run that program by this line.
  bool setExec(const QString &program, const QStringList &arguments);

  QByteArray text() const;
  // Writes the entry with these permissions, replacing any file (or link)
  // at path at once; a reader sees the old entry or the whole new one.
  bool save(const QString &path, QFile::Permissions permissions) const;

  // The Exec value for program and arguments, or nothing (see setExec).
  static std::optional<QString> execValue(const QString &program, const QStringList &arguments);

private:
  struct Line {
    QString group; // the group the line belongs to
    QString key;   // empty for group headers, comments and blank lines
    QString text;  // the raw value of a key line, else the whole line
  };

  int lastIndexOf(const QString &key) const;
  void setRawValue(const QString &key, const QString &raw);

  QVector<Line> lines_;
};
