#include "platform/os/CommandLine.h"

namespace CommandLine {

QStringList split(const QString &command) {
  QStringList arguments;
  QString word;
  bool inWord = false; // a quote starts a word even when nothing follows
  bool inQuote = false;
  int quoteCount = 0;
  for (const QChar c : command) {
    if (c == QLatin1Char('"')) {
      inWord = true;
      if (++quoteCount == 3) {
        quoteCount = 0;
        word += c;
      }
      continue;
    }
    if (quoteCount == 1)
      inQuote = !inQuote;
    quoteCount = 0;
    if (!inQuote && c.isSpace()) {
      if (inWord)
        arguments.append(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    arguments.append(word);
  return arguments;
}

} // namespace CommandLine
