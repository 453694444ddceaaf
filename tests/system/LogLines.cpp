#include "tests/system/LogLines.h"

#include <QDate>
#include <QFile>

#include <QRegularExpression>

#include "base/log/LogSetup.h"

namespace {

QString logFile() {
  return QStringLiteral("%1/Tidewell-%2.log")
      .arg(Log::defaultFolder(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

} // namespace

LogLines::LogLines() : start_(QFile(logFile()).size()) {}

std::vector<std::string> LogLines::messages() const {
  static const QRegularExpression line(QStringLiteral(
      R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [ \d]{3}\d+ms\]\[[^\]]+\]\[P[ \d]{5}\d*\]\[T[ \d]{5}\d*\](.*)$)"));
  QFile file(logFile());
  std::vector<std::string> messages;
  if (!file.open(QIODevice::ReadOnly) || !file.seek(start_))
    return messages;
  while (!file.atEnd()) {
    QByteArray text = file.readLine();
    if (text.endsWith('\n'))
      text.chop(1);
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(text));
    messages.push_back(match.hasMatch() ? match.captured(1).toStdString() : "<malformed>");
  }
  return messages;
}

std::string LogLines::native(const std::string &tag, const std::string &text) {
  std::string message =
      "[" + std::string(tag.size() < 24 ? 24 - tag.size() : 0, ' ') + tag + "] " + text;
  if (message.size() < 64)
    message.append(64 - message.size(), ' ');
  return message + " [ ]";
}
