#pragma once
// One registry value: a type tag and the data bytes exactly as the Windows
// registry keeps them (strings as UTF-16LE with their terminating NUL,
// numbers little-endian), so every backend and the .reg format agree.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

enum class RegistryType : quint32 {
  None = 0,
  String = 1,       // REG_SZ
  ExpandString = 2, // REG_EXPAND_SZ
  Binary = 3,       // REG_BINARY
  DWord = 4,        // REG_DWORD
  DWordBigEndian = 5,
  Link = 6,
  MultiString = 7, // REG_MULTI_SZ
  QWord = 11,      // REG_QWORD
};

// "REG_SZ", "REG_DWORD", ...; an unknown type as its number.
QString registryTypeName(RegistryType type);

class RegistryValue {
public:
  RegistryValue() = default;
  RegistryValue(RegistryType type, QByteArray data) : type_(type), data_(std::move(data)) {}

  static RegistryValue fromString(const QString &text, RegistryType type = RegistryType::String);
  static RegistryValue fromExpandString(const QString &text);
  static RegistryValue fromDWord(quint32 number);
  static RegistryValue fromQWord(quint64 number);
  static RegistryValue fromBinary(const QByteArray &bytes);
  static RegistryValue fromMultiString(const QStringList &texts);

  RegistryType type() const { return type_; }
  const QByteArray &data() const { return data_; }

  // Typed reads; empty when the value has another type or malformed data.
  std::optional<QString> toString() const; // REG_SZ and REG_EXPAND_SZ, up to the first NUL
  std::optional<quint32> toDWord() const;
  std::optional<quint64> toQWord() const;
  std::optional<QStringList> toStringList() const; // REG_MULTI_SZ

  // The data read as UTF-16 units, whatever the type (an odd last byte is dropped).
  QString dataAsUtf16() const;

  bool operator==(const RegistryValue &other) const {
    return type_ == other.type_ && data_ == other.data_;
  }
  bool operator!=(const RegistryValue &other) const { return !(*this == other); }

private:
  RegistryType type_ = RegistryType::None;
  QByteArray data_;
};
