#include "platform/storage/FileName.h"

namespace FileName {

namespace {

bool isContinuation(uchar byte) {
  return (byte & 0xC0) == 0x80;
}

bool isEscape(uint codePoint) {
  return codePoint >= escapeBase + 0x80 && codePoint <= escapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence at bytes (never an escape character),
// its code point in codePoint; 0 when the first byte starts none.
int validSequence(const uchar *bytes, int left, uint &codePoint) {
  const uchar lead = bytes[0];
  int length;
  uint low = 0x80, high = 0xBF; // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0)
      low = 0xA0; // overlong
    else if (lead == 0xED)
      high = 0x9F; // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0)
      low = 0x90; // overlong
    else if (lead == 0xF4)
      high = 0x8F; // above U+10FFFF
  } else {
    return 0;
  }
  if (left < length || bytes[1] < low || bytes[1] > high)
    return 0;
  for (int i = 1; i < length; ++i) {
    if (!isContinuation(bytes[i]))
      return 0;
    codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
  }
  return isEscape(codePoint) ? 0 : length;
}

void appendUtf8(QByteArray &out, uint codePoint) {
  if (codePoint < 0x80) {
    out.append(char(codePoint));
  } else if (codePoint < 0x800) {
    out.append(char(0xC0 | (codePoint >> 6)));
    out.append(char(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.append(char(0xE0 | (codePoint >> 12)));
    out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
    out.append(char(0x80 | (codePoint & 0x3F)));
  } else {
    out.append(char(0xF0 | (codePoint >> 18)));
    out.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
    out.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
    out.append(char(0x80 | (codePoint & 0x3F)));
  }
}

} // namespace

QString fromBytes(const char *bytes, int length) {
  const auto *data = reinterpret_cast<const uchar *>(bytes);
  QString text;
  text.reserve(length);
  for (int i = 0; i < length;) {
    if (data[i] < 0x80) {
      text.append(QChar(ushort(data[i++])));
      continue;
    }
    uint codePoint = 0;
    const int used = validSequence(data + i, length - i, codePoint);
    if (used == 0) {
      text.append(QChar(ushort(escapeBase + data[i++])));
      continue;
    }
    if (QChar::requiresSurrogates(codePoint)) {
      text.append(QChar(QChar::highSurrogate(codePoint)));
      text.append(QChar(QChar::lowSurrogate(codePoint)));
    } else {
      text.append(QChar(ushort(codePoint)));
    }
    i += used;
  }
  return text;
}

QString fromBytes(const QByteArray &bytes) {
  return fromBytes(bytes.constData(), bytes.size());
}

QByteArray toBytes(const QString &text) {
  QByteArray out;
  out.reserve(text.size());
  const int length = text.size();
  for (int i = 0; i < length; ++i) {
    const ushort unit = text.at(i).unicode();
    if (isEscape(unit)) {
      out.append(char(unit - escapeBase));
    } else if (QChar::isHighSurrogate(unit) && i + 1 < length &&
               QChar::isLowSurrogate(text.at(i + 1).unicode())) {
      appendUtf8(out, QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
      ++i;
    } else if (QChar::isSurrogate(unit)) {
      appendUtf8(out, QChar::ReplacementCharacter); // a lone half names no file
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

} // namespace FileName
