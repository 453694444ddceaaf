#include "platform/registry/RegImport.h"

#include <QTextCodec>

#include "platform/registry/RegExport.h"

namespace {

QString decode(const QByteArray &bytes) {
  if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff"))
    return QTextCodec::codecForName("UTF-16")->toUnicode(bytes);
  if (bytes.startsWith("\xef\xbb\xbf"))
    return QString::fromUtf8(bytes.mid(3));
  return QString::fromUtf8(bytes);
}

struct LineError {
  QString message;
};

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
QString readQuoted(const QString &text, int &pos) {
  QString result;
  for (++pos; pos < text.size(); ++pos) {
    const QChar c = text.at(pos);
    if (c == QLatin1Char('"')) {
      ++pos;
      return result;
    }
    if (c == QLatin1Char('\\') && pos + 1 < text.size() &&
        (text.at(pos + 1) == QLatin1Char('\\') || text.at(pos + 1) == QLatin1Char('"')))
      ++pos;
    result += text.at(pos);
  }
  throw LineError{QStringLiteral("unterminated string")};
}

bool isHex(const QString &digits, int maxLength) {
  if (digits.isEmpty() || digits.size() > maxLength)
    return false;
  for (const QChar c : digits) {
    const char l = c.toLower().toLatin1();
    if (!((l >= '0' && l <= '9') || (l >= 'a' && l <= 'f')))
      return false;
  }
  return true;
}

QByteArray hexBytes(const QString &list) {
  QByteArray bytes;
  const QString trimmed = list.trimmed();
  if (trimmed.isEmpty())
    return bytes;
  for (const QString &part : trimmed.split(QLatin1Char(','))) {
    const QString digits = part.trimmed();
    if (!isHex(digits, 2))
      throw LineError{QStringLiteral("bad hex byte \"%1\"").arg(digits)};
    bytes.append(char(digits.toUInt(nullptr, 16)));
  }
  return bytes;
}

class Parser {
public:
  explicit Parser(const QString &text) : lines_(text.split(QLatin1Char('\n'))) {
    for (QString &line : lines_) {
      if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    }
  }

  RegImport run() {
    RegImport result;
    try {
      header();
      while (next_ < lines_.size())
        line(result.batch);
    } catch (const LineError &error) {
      result.errorLine = next_;
      result.error = error.message;
    }
    return result;
  }

private:
  QString take() { return lines_.at(next_++).trimmed(); }

  void header() {
    while (next_ < lines_.size()) {
      const QString text = take();
      if (text.isEmpty())
        continue;
      if (text != QLatin1String(regFileHeader))
        break;
      return;
    }
    throw LineError{QStringLiteral("missing header \"%1\"").arg(QLatin1String(regFileHeader))};
  }

  void line(RegistryBatch &batch) {
    const QString text = take();
    if (text.isEmpty() || text.startsWith(QLatin1Char(';')))
      return;
    if (text.startsWith(QLatin1Char('[')))
      keyLine(text, batch);
    else
      valueLine(text, batch);
  }

  void keyLine(const QString &text, RegistryBatch &batch) {
    if (!text.endsWith(QLatin1Char(']')))
      throw LineError{QStringLiteral("missing \"]\"")};
    QString path = text.mid(1, text.size() - 2);
    const bool remove = path.startsWith(QLatin1Char('-'));
    if (remove)
      path.remove(0, 1);
    const auto key = RegistryKey::parse(path);
    if (!key)
      throw LineError{QStringLiteral("unknown registry root in \"%1\"").arg(path)};
    if (remove)
      batch.deleteKeyTree(*key);
    else
      batch.createKey(*key);
    current_ = remove ? std::nullopt : key;
  }

  void valueLine(const QString &text, RegistryBatch &batch) {
    if (!current_)
      throw LineError{QStringLiteral("value outside a key")};
    int pos = 0;
    QString name;
    if (text.startsWith(QLatin1Char('@')))
      pos = 1;
    else if (text.startsWith(QLatin1Char('"')))
      name = readQuoted(text, pos);
    else
      throw LineError{QStringLiteral("expected a value name")};
    const QString rest = text.mid(pos).trimmed();
    if (!rest.startsWith(QLatin1Char('=')))
      throw LineError{QStringLiteral("expected \"=\"")};
    const QString data = rest.mid(1).trimmed();
    if (data == QLatin1String("-"))
      batch.deleteValue(*current_, name);
    else
      batch.setValue(*current_, name, valueData(data));
  }

  RegistryValue valueData(const QString &data) {
    if (data.startsWith(QLatin1Char('"'))) {
      int pos = 0;
      const QString text = readQuoted(data, pos);
      if (!data.mid(pos).trimmed().isEmpty())
        throw LineError{QStringLiteral("text after the string")};
      return RegistryValue::fromString(text);
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
      const QString digits = data.mid(6);
      if (!isHex(digits, 8))
        throw LineError{QStringLiteral("bad dword \"%1\"").arg(digits)};
      return RegistryValue::fromDWord(digits.toUInt(nullptr, 16));
    }
    if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
      RegistryType type = RegistryType::Binary;
      int colon = data.indexOf(QLatin1Char(':'));
      if (colon < 0)
        throw LineError{QStringLiteral("expected \":\" after hex")};
      const QString kind = data.mid(3, colon - 3);
      if (!kind.isEmpty()) {
        const QString number = kind.mid(1, kind.size() - 2);
        if (!kind.startsWith(QLatin1Char('(')) || !kind.endsWith(QLatin1Char(')')) ||
            !isHex(number, 8))
          throw LineError{QStringLiteral("bad value type \"%1\"").arg(kind)};
        type = RegistryType(number.toUInt(nullptr, 16));
      }
      QString list = data.mid(colon + 1);
      while (list.trimmed().endsWith(QLatin1Char('\\'))) {
        if (next_ == lines_.size())
          throw LineError{QStringLiteral("file ends inside hex data")};
        list = list.trimmed();
        list.chop(1);
        list += take();
      }
      return RegistryValue(type, hexBytes(list));
    }
    throw LineError{QStringLiteral("unrecognised value data \"%1\"").arg(data)};
  }

  QStringList lines_;
  int next_ = 0;
  std::optional<RegistryKey> current_;
};

} // namespace

RegImport parseRegText(const QByteArray &bytes) {
  return Parser(decode(bytes)).run();
}
