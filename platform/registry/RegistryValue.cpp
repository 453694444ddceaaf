#include "platform/registry/RegistryValue.h"

#include <QtEndian>

namespace {

QByteArray utf16Bytes(const QString &text) {
  QByteArray bytes;
  bytes.reserve((text.size() + 1) * 2);
  for (const QChar c : text) {
    bytes.append(char(c.unicode() & 0xff));
    bytes.append(char(c.unicode() >> 8));
  }
  return bytes;
}

const QByteArray &utf16Nul() {
  static const QByteArray nul(2, '\0');
  return nul;
}

} // namespace

QString registryTypeName(RegistryType type) {
  switch (type) {
  case RegistryType::None:
    return QStringLiteral("REG_NONE");
  case RegistryType::String:
    return QStringLiteral("REG_SZ");
  case RegistryType::ExpandString:
    return QStringLiteral("REG_EXPAND_SZ");
  case RegistryType::Binary:
    return QStringLiteral("REG_BINARY");
  case RegistryType::DWord:
    return QStringLiteral("REG_DWORD");
  case RegistryType::DWordBigEndian:
    return QStringLiteral("REG_DWORD_BIG_ENDIAN");
  case RegistryType::Link:
    return QStringLiteral("REG_LINK");
  case RegistryType::MultiString:
    return QStringLiteral("REG_MULTI_SZ");
  case RegistryType::QWord:
    return QStringLiteral("REG_QWORD");
  }
  return QStringLiteral("REG_0x%1").arg(quint32(type), 0, 16);
}

RegistryValue RegistryValue::fromString(const QString &text, RegistryType type) {
  return RegistryValue(type, utf16Bytes(text) + utf16Nul());
}

RegistryValue RegistryValue::fromExpandString(const QString &text) {
  return fromString(text, RegistryType::ExpandString);
}

RegistryValue RegistryValue::fromDWord(quint32 number) {
  QByteArray bytes(4, '\0');
  qToLittleEndian(number, bytes.data());
  return RegistryValue(RegistryType::DWord, bytes);
}

RegistryValue RegistryValue::fromQWord(quint64 number) {
  QByteArray bytes(8, '\0');
  qToLittleEndian(number, bytes.data());
  return RegistryValue(RegistryType::QWord, bytes);
}

RegistryValue RegistryValue::fromBinary(const QByteArray &bytes) {
  return RegistryValue(RegistryType::Binary, bytes);
}

RegistryValue RegistryValue::fromMultiString(const QStringList &texts) {
  QByteArray bytes;
  for (const QString &text : texts)
    bytes += utf16Bytes(text) + utf16Nul();
  return RegistryValue(RegistryType::MultiString, bytes + utf16Nul());
}

QString RegistryValue::dataAsUtf16() const {
  QString text;
  text.reserve(data_.size() / 2);
  for (int i = 0; i + 1 < data_.size(); i += 2)
    text.append(QChar(ushort(uchar(data_[i]) | (uchar(data_[i + 1]) << 8))));
  return text;
}

std::optional<QString> RegistryValue::toString() const {
  if (type_ != RegistryType::String && type_ != RegistryType::ExpandString)
    return std::nullopt;
  const QString text = dataAsUtf16();
  const int nul = text.indexOf(QChar(0));
  return nul < 0 ? text : text.left(nul);
}

std::optional<quint32> RegistryValue::toDWord() const {
  if (type_ != RegistryType::DWord || data_.size() != 4)
    return std::nullopt;
  return qFromLittleEndian<quint32>(data_.constData());
}

std::optional<quint64> RegistryValue::toQWord() const {
  if (type_ != RegistryType::QWord || data_.size() != 8)
    return std::nullopt;
  return qFromLittleEndian<quint64>(data_.constData());
}

std::optional<QStringList> RegistryValue::toStringList() const {
  if (type_ != RegistryType::MultiString)
    return std::nullopt;
  // The list ends at the first empty string (the double NUL) or the data's end.
  QStringList texts;
  for (const QString &part : dataAsUtf16().split(QChar(0))) {
    if (part.isEmpty())
      break;
    texts.append(part);
  }
  return texts;
}
