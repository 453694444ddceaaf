#include "platform/os/linux/DesktopEntry.h"

#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString mainGroup = QStringLiteral("Desktop Entry");

// The escapes of every string value; a leading space would otherwise be lost.
QString escapedValue(const QString &value) {
  QString escaped;
  for (int i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c == QLatin1Char('\\'))
      escaped += QLatin1String("\\\\");
    else if (c == QLatin1Char('\n'))
      escaped += QLatin1String("\\n");
    else if (c == QLatin1Char('\t'))
      escaped += QLatin1String("\\t");
    else if (c == QLatin1Char('\r'))
      escaped += QLatin1String("\\r");
    else if (c == QLatin1Char(' ') && i == 0)
      escaped += QLatin1String("\\s");
    else
      escaped += c;
  }
  return escaped;
}

// Undoes the string escapes; in a list, "\;" is a semicolon inside an item.
// An unknown escape is kept as it stands.
QString unescapedValue(const QString &raw) {
  QString value;
  for (int i = 0; i < raw.size(); ++i) {
    if (raw[i] != QLatin1Char('\\') || i + 1 == raw.size()) {
      value += raw[i];
      continue;
    }
    const QChar next = raw[++i];
    if (next == QLatin1Char('s'))
      value += QLatin1Char(' ');
    else if (next == QLatin1Char('n'))
      value += QLatin1Char('\n');
    else if (next == QLatin1Char('t'))
      value += QLatin1Char('\t');
    else if (next == QLatin1Char('r'))
      value += QLatin1Char('\r');
    else if (next == QLatin1Char('\\'))
      value += QLatin1Char('\\');
    else
      value += QLatin1Char('\\') + QString(next);
  }
  return value;
}

bool isReservedInExec(QChar c) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  return reserved.contains(c);
}

bool isEscapedInQuotes(QChar c) {
  return c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
         c == QLatin1Char('\\');
}

// One Exec word: a percent sign doubled so that it is no field code (also
// inside quotes), and in double quotes when it is empty or holds a reserved
// character, with the four characters that stay special there escaped.
QString quotedArgument(const QString &argument) {
  QString text = argument;
  text.replace(QLatin1Char('%'), QLatin1String("%%"));
  if (!text.isEmpty() && std::none_of(text.cbegin(), text.cend(), isReservedInExec))
    return text;
  QString quoted = QStringLiteral("\"");
  for (const QChar c : text) {
    if (isEscapedInQuotes(c))
      quoted += QLatin1Char('\\');
    quoted += c;
  }
  return quoted + QLatin1Char('"');
}

// The words of an Exec value whose string escapes are already undone.
std::optional<QStringList> splitExec(const QString &exec) {
  QStringList words;
  int i = 0;
  while (true) {
    while (i < exec.size() && (exec[i] == QLatin1Char(' ') || exec[i] == QLatin1Char('\t')))
      ++i;
    if (i == exec.size())
      return words;
    QString word;
    if (exec[i] == QLatin1Char('"')) {
      for (++i;; ++i) {
        if (i == exec.size())
          return std::nullopt;
        if (exec[i] == QLatin1Char('"'))
          break;
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size() && isEscapedInQuotes(exec[i + 1]))
          ++i;
        word += exec[i];
      }
      ++i;
    } else {
      while (i < exec.size() && exec[i] != QLatin1Char(' ') && exec[i] != QLatin1Char('\t'))
        word += exec[i++];
    }
    words.append(word);
  }
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::load(const QString &path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return std::nullopt;
  return parse(file.readAll());
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &text) {
  DesktopEntry entry;
  QString group;
  bool hasMainGroup = false;
  QStringList rows = QString::fromUtf8(text).split(QLatin1Char('\n'));
  if (rows.last().isEmpty())
    rows.removeLast();
  for (QString row : rows) {
    if (row.endsWith(QLatin1Char('\r')))
      row.chop(1);
    const QString trimmed = row.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) {
      entry.lines_.append({group, QString(), row});
    } else if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
      group = trimmed.mid(1, trimmed.size() - 2);
      hasMainGroup = hasMainGroup || group == mainGroup;
      entry.lines_.append({group, QString(), row});
    } else {
      // A line that is no assignment, or one outside any group, is kept
      // as it stands and otherwise ignored, as the session's generator does.
      const int equals = row.indexOf(QLatin1Char('='));
      const QString key = row.left(equals).trimmed();
      if (equals < 0 || group.isEmpty() || key.isEmpty()) {
        entry.lines_.append({group, QString(), row});
        continue;
      }
      QString raw = row.mid(equals + 1);
      while (raw.startsWith(QLatin1Char(' ')) || raw.startsWith(QLatin1Char('\t')))
        raw.remove(0, 1);
      entry.lines_.append({group, key, raw});
    }
  }
  if (!hasMainGroup)
    return std::nullopt;
  return entry;
}

int DesktopEntry::lastIndexOf(const QString &key) const {
  for (int i = lines_.size() - 1; i >= 0; --i) {
    if (lines_[i].group == mainGroup && lines_[i].key == key)
      return i;
  }
  return -1;
}

bool DesktopEntry::contains(const QString &key) const {
  return lastIndexOf(key) >= 0;
}

QString DesktopEntry::value(const QString &key) const {
  const int index = lastIndexOf(key);
  return index < 0 ? QString() : unescapedValue(lines_[index].text);
}

QString DesktopEntry::localeValue(const QString &key) const {
  const QString locale = QLocale::system().name(); // "zh_CN", or "C"
  for (const QString &suffix : {locale, locale.section(QLatin1Char('_'), 0, 0)}) {
    const QString localised = key + QLatin1Char('[') + suffix + QLatin1Char(']');
    if (contains(localised))
      return value(localised);
  }
  return value(key);
}

std::optional<bool> DesktopEntry::boolean(const QString &key) const {
  // The words systemd's generator takes, beyond the Desktop Entry format's true and false.
  static const QStringList yes = {"true", "1", "yes", "y", "t", "on"};
  static const QStringList no = {"false", "0", "no", "n", "f", "off"};
  const QString text = value(key).trimmed().toLower();
  if (yes.contains(text))
    return true;
  if (no.contains(text))
    return false;
  return std::nullopt;
}

QStringList DesktopEntry::list(const QString &key) const {
  const int index = lastIndexOf(key);
  if (index < 0)
    return {};
  QStringList items;
  QString raw;
  const QString &text = lines_[index].text;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('\\') && i + 1 < text.size() && text[i + 1] == QLatin1Char(';')) {
      raw += QLatin1Char(';');
      ++i;
    } else if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
      raw += text.midRef(i, 2);
      ++i;
    } else if (text[i] == QLatin1Char(';')) {
      items.append(unescapedValue(raw));
      raw.clear();
    } else {
      raw += text[i];
    }
  }
  if (!raw.isEmpty())
    items.append(unescapedValue(raw));
  return items;
}

std::optional<QStringList> DesktopEntry::execArguments() const {
  if (!contains(QStringLiteral("Exec")))
    return std::nullopt;
  return splitExec(value(QStringLiteral("Exec")));
}

void DesktopEntry::setRawValue(const QString &key, const QString &raw) {
  const int index = lastIndexOf(key);
  if (index >= 0) {
    lines_[index].text = raw;
    return;
  }
  // After the group's last key, so that comments about the next group stay
  // with it.
  int insertAt = -1;
  for (int i = 0; i < lines_.size(); ++i) {
    if (lines_[i].group == mainGroup &&
        (!lines_[i].key.isEmpty() || lines_[i].text.trimmed().startsWith(QLatin1Char('['))))
      insertAt = i + 1;
  }
  if (insertAt < 0) {
    lines_.prepend({mainGroup, QString(), QLatin1Char('[') + mainGroup + QLatin1Char(']')});
    insertAt = 1;
  }
  lines_.insert(insertAt, {mainGroup, key, raw});
}

void DesktopEntry::setValue(const QString &key, const QString &value) {
  setRawValue(key, escapedValue(value));
}

void DesktopEntry::setBoolean(const QString &key, bool value) {
  setRawValue(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void DesktopEntry::setList(const QString &key, const QStringList &values) {
  QString raw;
  for (QString item : values) {
    item = escapedValue(item);
    item.replace(QLatin1Char(';'), QLatin1String("\\;"));
    raw += item + QLatin1Char(';');
  }
  setRawValue(key, raw);
}

std::optional<QString> DesktopEntry::execValue(const QString &program,
                                               const QStringList &arguments) {
  QStringList words;
  // Launchers look the program up before they turn "%%" into "%", so a
  // program whose path holds a percent sign is started through env, which
  // gets the path as an argument, where "%%" is undone. env would take a
  // word with "=" for a variable and one starting with "-" for an option.
  if (program.contains(QLatin1Char('%'))) {
    if (program.contains(QLatin1Char('=')) || program.startsWith(QLatin1Char('-')))
      return std::nullopt;
    words.append(QStringLiteral("env"));
  }
  if (program.isEmpty())
    return std::nullopt;
  words.append(quotedArgument(program));
  for (const QString &argument : arguments)
    words.append(quotedArgument(argument));
  return escapedValue(words.join(QLatin1Char(' ')));
}

bool DesktopEntry::setExec(const QString &program, const QStringList &arguments) {
  const auto exec = execValue(program, arguments);
  if (!exec)
    return false;
  setRawValue(QStringLiteral("Exec"), *exec);
  return true;
}

QByteArray DesktopEntry::text() const {
  QString text;
  for (const Line &line : lines_)
    text += (line.key.isEmpty() ? line.text : line.key + QLatin1Char('=') + line.text) +
            QLatin1Char('\n');
  return text.toUtf8();
}

bool DesktopEntry::save(const QString &path, QFile::Permissions permissions) const {
  // A link in its place is replaced, never written through: it may lead to
  // another program's entry.
  if (QFileInfo(path).isSymLink() && !QFile::remove(path))
    return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(permissions))
    return false;
  const QByteArray content = text();
  return file.write(content) == content.size() && file.commit();
}
