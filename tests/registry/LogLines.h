#pragma once
// Reads the messages of the process's log file
// ($XDG_STATE_HOME/Tidewell/logs/Tidewell-YYYY-MM-DD.log) without the
// time/process prefix and the padding the file pattern adds.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

class LogLines {
public:
  LogLines() : skip_(all().size()) {}

  // Messages written since this object was made.
  QStringList fresh() const { return all().mid(skip_); }

  static QString nativeLine(const QString &tag, const QString &text) {
    return QStringLiteral("[%1] %2").arg(tag, 24).arg(text);
  }

private:
  static QStringList all() {
    const QDir folder(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/Tidewell/logs"));
    const QStringList files =
        folder.entryList({QStringLiteral("Tidewell-*.log")}, QDir::Files, QDir::Name);
    QStringList messages;
    if (files.isEmpty())
      return messages;
    QFile file(folder.filePath(files.last()));
    if (!file.open(QIODevice::ReadOnly))
      return messages;
    static const QRegularExpression line(
        QStringLiteral(R"(^\[[^\]]*\]\[[^\]]*\]\[P *\d+\]\[T *\d+\](.*?) *\[[^\]]*\]$)"));
    for (const QByteArray &raw : file.readAll().split('\n')) {
      const auto match = line.match(QString::fromLocal8Bit(raw));
      if (match.hasMatch())
        messages.append(match.captured(1));
    }
    return messages;
  }

  int skip_;
};
