#include "platform/registry/RegExport.h"

const char regFileHeader[] = "Windows Registry Editor Version 5.00";

namespace {

const QString lineEnd = QStringLiteral("\r\n");

QString quoted(const QString &text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
  escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
  return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// A REG_SZ the quoted form keeps exactly: one terminating NUL, no line breaks.
bool isPlainString(const RegistryValue &value) {
  if (value.type() != RegistryType::String || value.data().size() < 2 ||
      value.data().size() % 2 != 0)
    return false;
  const QString units = value.dataAsUtf16();
  return units.indexOf(QChar(0)) == units.size() - 1 && !units.contains(QLatin1Char('\n')) &&
         !units.contains(QLatin1Char('\r'));
}

// hex bytes, wrapped with ",\" and a two-space indent as the editor does.
QString hexData(QString line, const QByteArray &bytes) {
  QString text;
  for (int i = 0; i < bytes.size(); ++i) {
    line += QStringLiteral("%1").arg(uchar(bytes[i]), 2, 16, QLatin1Char('0'));
    if (i + 1 == bytes.size())
      break;
    line += QLatin1Char(',');
    if (line.size() >= 76) {
      text += line + QLatin1Char('\\') + lineEnd;
      line = QStringLiteral("  ");
    }
  }
  return text + line;
}

// Why the file cannot hold a name, or nothing when it can: a line break
// would end the line in the middle, and a lone surrogate has no UTF-8 form.
std::optional<QString> unwritableBecause(const QString &name) {
  if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
    return QStringLiteral("a line break");
  for (int i = 0; i < name.size(); ++i) {
    const QChar unit = name.at(i);
    if (unit.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
      ++i;
    else if (unit.isSurrogate())
      return QStringLiteral("a lone surrogate");
  }
  return std::nullopt;
}

// The name with what the file cannot hold spelt out, for the message.
QString shown(const QString &name) {
  QString text;
  for (const QChar unit : name) {
    if (unit == QLatin1Char('\r'))
      text += QLatin1String("\\r");
    else if (unit == QLatin1Char('\n'))
      text += QLatin1String("\\n");
    else if (unit.isSurrogate())
      text += QLatin1String("\\u") + QString::number(unit.unicode(), 16).toUpper();
    else
      text += unit;
  }
  return QLatin1Char('"') + text + QLatin1Char('"');
}

bool writable(const char *kind, const QString &name, const RegistryKey &key, QString *refused) {
  const std::optional<QString> reason = unwritableBecause(name);
  if (reason && refused)
    *refused = QStringLiteral("the %1 %2 in %3 holds %4, which a .reg file cannot hold")
                   .arg(QLatin1String(kind), shown(name), shown(key.fullPath()), *reason);
  return !reason;
}

bool exportTree(Registry &registry, const RegistryKey &key,
                const QVector<RegistryNamedValue> &values, QString &text, QString *refused) {
  text += QLatin1Char('[') + key.fullPath() + QLatin1Char(']') + lineEnd;
  for (const RegistryNamedValue &entry : values) {
    if (!writable("value name", entry.name, key, refused))
      return false;
    text += regValueLine(entry.name, entry.value) + lineEnd;
  }
  text += lineEnd;
  for (const QString &name : registry.subKeyNames(key).value_or(QStringList())) {
    if (!writable("key name", name, key, refused))
      return false;
    const RegistryKey child = key.subKey(name);
    // A key deleted meanwhile by another process is left out.
    if (const auto childValues = registry.values(child)) {
      if (!exportTree(registry, child, *childValues, text, refused))
        return false;
    }
  }
  return true;
}

} // namespace

QString regValueLine(const QString &name, const RegistryValue &value) {
  const QString field = (name.isEmpty() ? QStringLiteral("@") : quoted(name)) + QLatin1Char('=');
  if (isPlainString(value))
    return field + quoted(*value.toString());
  if (const auto number = value.toDWord())
    return field + QStringLiteral("dword:%1").arg(*number, 8, 16, QLatin1Char('0'));
  if (value.type() == RegistryType::Binary)
    return hexData(field + QStringLiteral("hex:"), value.data());
  return hexData(field + QStringLiteral("hex(%1):").arg(quint32(value.type()), 0, 16),
                 value.data());
}

std::optional<QString> exportRegText(Registry &registry, const RegistryKey &key, QString *refused) {
  const auto values = registry.values(key);
  if (!values)
    return std::nullopt;
  QString text = QLatin1String(regFileHeader) + lineEnd + lineEnd;
  RegistryKey parent(key.root());
  for (const QString &name : key.names()) {
    if (!writable("key name", name, parent, refused))
      return std::nullopt;
    parent = parent.subKey(name);
  }
  if (!exportTree(registry, key, *values, text, refused))
    return std::nullopt;
  return text;
}
