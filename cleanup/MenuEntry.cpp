#include "cleanup/MenuEntry.h"

#include <QDirIterator>
#include <QFile>
#include <QLocale>
#include <QSet>

namespace {

QString unescaped(const QString &value) {
  QString out;
  for (int i = 0; i < value.size(); ++i) {
    if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const QChar next = value[++i];
    out += next == QLatin1Char('s')   ? QChar(' ')
           : next == QLatin1Char('n') ? QChar('\n')
           : next == QLatin1Char('t') ? QChar('\t')
           : next == QLatin1Char('r') ? QChar('\r')
                                      : next;
  }
  return out;
}

bool isTrue(const QString &value) {
  return value.trimmed() == QLatin1String("true");
}

} // namespace

MenuEntry MenuEntry::read(const QString &path) {
  MenuEntry entry;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
    return entry;
  bool inGroup = false;
  for (const QByteArray &raw : file.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      if (inGroup)
        break;
      inGroup = line == QLatin1String("[Desktop Entry]");
      continue;
    }
    const int equals = line.indexOf(QLatin1Char('='));
    if (!inGroup || line.startsWith(QLatin1Char('#')) || equals <= 0)
      continue;
    const QString key = line.left(equals).trimmed();
    if (!entry.values_.contains(key))
      entry.values_.insert(key, unescaped(line.mid(equals + 1).trimmed()));
  }
  return entry;
}

bool MenuEntry::isShownApplication() const {
  return isValid() && value(QStringLiteral("Type")) == QLatin1String("Application") &&
         !value(QStringLiteral("Name")).isEmpty() && !isTrue(value(QStringLiteral("NoDisplay"))) &&
         !isTrue(value(QStringLiteral("Hidden")));
}

QString MenuEntry::localizedName() const {
  const QString locale = QLocale().name(); // "zh_CN"
  for (const QString &key :
       {QStringLiteral("Name[%1]").arg(locale),
        QStringLiteral("Name[%1]").arg(locale.section(QLatin1Char('_'), 0, 0))}) {
    const QString name = value(key);
    if (!name.isEmpty())
      return name;
  }
  return value(QStringLiteral("Name"));
}

// Exec quoting: arguments split at spaces, double quotes group, and inside
// them a backslash takes the next character literally; field codes go.
QStringList MenuEntry::execArguments() const {
  const QString exec = value(QStringLiteral("Exec"));
  QStringList arguments;
  QString current;
  bool quoted = false, started = false;
  for (int i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (quoted && c == QLatin1Char('\\') && i + 1 < exec.size()) {
      current += exec[++i];
    } else if (c == QLatin1Char('"')) {
      quoted = !quoted;
      started = true;
    } else if (!quoted && c.isSpace()) {
      if (started)
        arguments.append(current);
      current.clear();
      started = false;
    } else {
      current += c;
      started = true;
    }
  }
  if (started)
    arguments.append(current);
  QStringList out;
  for (const QString &argument : arguments) {
    if (argument.size() == 2 && argument[0] == QLatin1Char('%') && argument[1] != QLatin1Char('%'))
      continue;
    out.append(QString(argument).replace(QLatin1String("%%"), QLatin1String("%")));
  }
  return out;
}

QList<QPair<QString, MenuEntry>> shownMenuEntries(const QStringList &folders) {
  QList<QPair<QString, MenuEntry>> shown;
  QSet<QString> seen;
  for (const QString &folder : folders) {
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
      files.append(it.next());
    files.sort();
    for (const QString &path : files) {
      const QString id = path.mid(folder.size() + 1).replace(QLatin1Char('/'), QLatin1Char('-'));
      if (seen.contains(id))
        continue;
      seen.insert(id);
      const MenuEntry entry = MenuEntry::read(path);
      if (entry.isShownApplication())
        shown.append({path, entry});
    }
  }
  return shown;
}
