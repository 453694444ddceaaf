#include "platform/os/linux/DesktopEntry.h"

#include <QFile>
#include <QProcess>
#include <QSaveFile>

#include <algorithm>

namespace DesktopEntry {
namespace {

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

// One Exec argument: in double quotes when it holds a reserved character,
// with the four characters that stay special inside quotes escaped; a
// percent sign doubled so that it is not a field code.
QString quotedArgument(const QString &argument) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  QString text = argument;
  text.replace(QLatin1Char('%'), QLatin1String("%%"));
  const bool needsQuotes = text.isEmpty() || std::any_of(text.cbegin(), text.cend(), [](QChar c) {
                             return reserved.contains(c);
                           });
  if (!needsQuotes)
    return text;
  QString quoted = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
        c == QLatin1Char('\\'))
      quoted += QLatin1Char('\\');
    quoted += c;
  }
  return quoted + QLatin1Char('"');
}

} // namespace

QString execValue(const QString &program, const QStringList &arguments) {
  QStringList parts{quotedArgument(program)};
  for (const QString &argument : arguments)
    parts.append(quotedArgument(argument));
  return escapedValue(parts.join(QLatin1Char(' ')));
}

QString text(const Launcher &launcher) {
  QString entry = QStringLiteral("[Desktop Entry]\nType=Application\n");
  entry += QStringLiteral("Name=%1\n").arg(escapedValue(launcher.name));
  entry += QStringLiteral("Exec=%1\n")
               .arg(execValue(launcher.target, QProcess::splitCommand(launcher.arguments)));
  if (!launcher.workingFolder.isEmpty())
    entry += QStringLiteral("Path=%1\n").arg(escapedValue(launcher.workingFolder));
  if (!launcher.icon.isEmpty())
    entry += QStringLiteral("Icon=%1\n").arg(escapedValue(launcher.icon));
  return entry;
}

bool write(const QString &path, const Launcher &launcher) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return false;
  file.write(text(launcher).toUtf8());
  // Desktops start only launchers that are executable.
  return file.commit() &&
         QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                         QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                         QFile::ExeOther);
}

} // namespace DesktopEntry
