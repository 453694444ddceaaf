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

void exportTree(Registry &registry, const RegistryKey &key,
                const QVector<RegistryNamedValue> &values, QString &text) {
  text += QLatin1Char('[') + key.fullPath() + QLatin1Char(']') + lineEnd;
  for (const RegistryNamedValue &entry : values)
    text += regValueLine(entry.name, entry.value) + lineEnd;
  text += lineEnd;
  for (const QString &name : registry.subKeyNames(key).value_or(QStringList())) {
    const RegistryKey child = key.subKey(name);
    // A key deleted meanwhile by another process is left out.
    if (const auto childValues = registry.values(child))
      exportTree(registry, child, *childValues, text);
  }
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

std::optional<QString> exportRegText(Registry &registry, const RegistryKey &key) {
  const auto values = registry.values(key);
  if (!values)
    return std::nullopt;
  QString text = QLatin1String(regFileHeader) + lineEnd + lineEnd;
  exportTree(registry, key, *values, text);
  return text;
}
