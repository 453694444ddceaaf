#include "cleanup/RegistryPrograms.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "cleanup/RegistryCommand.h"
#include "platform/registry/Registry.h"

namespace RegistryPrograms {
namespace {

const QString uninstallPath =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
constexpr int valueBufferBytes = 2048;
constexpr int expandedLimit = 4095;
constexpr int iconPathLimit = 1038;

// A value as text the way a 2048-byte query reads it: missing or too large
// is empty, strings end at their first NUL, a 4-byte DWORD is its decimal.
QString textValue(Registry &registry, const RegistryKey &key, const QString &name) {
  const auto value = registry.value(key, name);
  if (!value || value->data().size() > valueBufferBytes)
    return QString();
  switch (value->type()) {
  case RegistryType::String:
    return value->toString().value_or(QString());
  case RegistryType::ExpandString: {
    const QString raw = value->toString().value_or(QString());
    const QString expanded = expandEnvironment(raw);
    return expanded.size() > expandedLimit ? raw : expanded;
  }
  case RegistryType::DWord:
    return value->data().size() == 4 ? QString::number(value->toDWord().value_or(0)) : QString();
  default:
    return QString();
  }
}

QString withoutQuotes(const QString &text) {
  if (text.size() > 1 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
    return text.mid(1, text.size() - 2);
  return text;
}

bool isExistingFile(const QString &path) {
  return !path.isEmpty() && QFileInfo(path).isFile();
}

// The first success of: the cleaned DisplayIcon, the first program file of
// the install folder. (Windows Installer's own icon lookups have no
// counterpart here.)
QString resolveIcon(const QString &displayIcon, QString installLocation) {
  const QString cleaned = cleanIconPath(displayIcon);
  if (isExistingFile(cleaned))
    return cleaned;
  installLocation = installLocation.trimmed();
  while (installLocation.endsWith(QDir::separator()) && installLocation.size() > 1)
    installLocation.chop(1);
  if (installLocation.isEmpty() || !QFileInfo(installLocation).isDir())
    return QString();
  const QStringList programs =
      QDir(installLocation).entryList({QStringLiteral("*.exe")}, QDir::Files, QDir::Name);
  return programs.isEmpty() ? QString() : QDir(installLocation).filePath(programs.first());
}

bool isUpdate(const QString &releaseType) {
  for (const char *word : {"Update", "Hotfix", "Patch", "Security"}) {
    if (releaseType.contains(QLatin1String(word), Qt::CaseInsensitive))
      return true;
  }
  return false;
}

void readSource(Registry &registry, const RegistryKey &uninstall,
                QVector<InstalledProgram> &programs) {
  for (int index = 0;; ++index) {
    const auto subKey = registry.subKeyName(uninstall, index);
    if (!subKey)
      break;
    const RegistryKey key = uninstall.subKey(*subKey);
    if (!registry.keyExists(key))
      continue;
    const auto text = [&](const char *name) {
      return textValue(registry, key, QLatin1String(name));
    };
    InstalledProgram program;
    program.name = text("DisplayName");
    if (program.name.isEmpty() || text("SystemComponent") == QLatin1String("1") ||
        !text("ParentKeyName").isEmpty() || isUpdate(text("ReleaseType")))
      continue;
    program.publisher = text("Publisher");
    program.version = text("DisplayVersion");
    program.installDate = text("InstallDate");
    program.uninstallString = text("UninstallString");
    bool isNumber = false;
    program.estimatedSize = text("EstimatedSize").toULongLong(&isNumber);
    if (!isNumber)
      program.estimatedSize = 0;
    const QString installLocation = text("InstallLocation");
    program.installLocation = installLocation;
    program.displayIcon = resolveIcon(text("DisplayIcon"), installLocation);
    program.action = RegistryCommand::actionFor(program.uninstallString, installLocation);
    programs.append(program);
  }
}

} // namespace

QVector<InstalledProgram> read(Registry &registry) {
  QVector<InstalledProgram> programs;
  for (const RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
    for (const RegistryView view : {RegistryView::View64, RegistryView::View32})
      readSource(registry, RegistryKey(root, uninstallPath, view), programs);
  }
  return programs;
}

QString cleanIconPath(const QString &text) {
  QString path = text.trimmed();
  if (path.isEmpty())
    return path;
  path = withoutQuotes(path);
  const int comma = path.lastIndexOf(QLatin1Char(','));
  bool isIndex = false;
  if (comma > 0) {
    path.mid(comma + 1).trimmed().toInt(&isIndex);
    // "C:\Apppp.exe",0 is quoted only once the index is gone.
    if (isIndex)
      path = withoutQuotes(path.left(comma).trimmed());
  }
  const QString expanded = expandEnvironment(path);
  if (expanded.size() <= iconPathLimit)
    path = expanded;
  return QDir::toNativeSeparators(path);
}

QString expandEnvironment(const QString &text) {
  static const QRegularExpression variable(QStringLiteral("%([^%]+)%"));
  QString out;
  int last = 0;
  auto it = variable.globalMatch(text);
  while (it.hasNext()) {
    const QRegularExpressionMatch match = it.next();
    const QByteArray name = match.captured(1).toLocal8Bit();
    out += text.mid(last, match.capturedStart() - last);
    out += qEnvironmentVariableIsSet(name.constData()) ? qEnvironmentVariable(name.constData())
                                                       : match.captured(0);
    last = match.capturedEnd();
  }
  return out + text.mid(last);
}

} // namespace RegistryPrograms
