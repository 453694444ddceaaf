#include "platform/swap/linux/FstabText.h"

#include <QFile>

namespace FstabText {
namespace {

// fstab fields escape space, tab, newline and backslash as three octal digits.
QByteArray escaped(const QByteArray &field) {
  QByteArray out;
  for (const char c : field) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\\')
      out += '\\' + QByteArray::number(int(uchar(c)), 8).rightJustified(3, '0');
    else
      out += c;
  }
  return out;
}

QByteArray unescaped(const QByteArray &field) {
  QByteArray out;
  for (int i = 0; i < field.size(); ++i) {
    bool octal = false;
    const int code = field[i] == '\\' ? field.mid(i + 1, 3).toInt(&octal, 8) : 0;
    if (octal && i + 3 < field.size()) {
      out += char(code);
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool isSwapLineOf(const QByteArray &line, const QList<QByteArray> &files) {
  const QByteArray trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith('#'))
    return false;
  const QList<QByteArray> fields = trimmed.simplified().split(' ');
  return fields.size() >= 3 && fields[2] == "swap" && files.contains(unescaped(fields[0]));
}

} // namespace

bool namesSwapFile(const QByteArray &text, const QString &file) {
  const QList<QByteArray> files{QFile::encodeName(file)};
  for (const QByteArray &line : text.split('\n')) {
    if (isSwapLineOf(line, files))
      return true;
  }
  return false;
}

QByteArray withSwapFile(const QByteArray &text, const QStringList &oldFiles,
                        const QString &newFile) {
  QList<QByteArray> files;
  for (const QString &file : oldFiles)
    files.append(QFile::encodeName(file));
  files.append(QFile::encodeName(newFile));
  QByteArray out;
  QList<QByteArray> lines = text.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty())
    lines.removeLast(); // the final newline
  for (const QByteArray &line : lines) {
    if (!isSwapLineOf(line, files))
      out += line + '\n';
  }
  return out + escaped(QFile::encodeName(newFile)) + " none swap sw 0 0\n";
}

} // namespace FstabText
