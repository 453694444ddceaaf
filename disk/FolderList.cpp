#include "disk/FolderList.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace FolderList {

namespace {
constexpr int expansionBufferUnits = 1040; // including the terminating NUL
}

QStringList parse(const QString &argument) {
  QStringList entries;
  const QJsonDocument document = QJsonDocument::fromJson(argument.toUtf8());
  if (document.isArray()) {
    for (const QJsonValue &value : document.array())
      entries.append(value.toString());
  } else {
    for (const QString &piece : argument.split(QLatin1Char(',')))
      entries.append(piece.trimmed());
  }
  entries.removeAll(QString());
  return entries;
}

bool includesHidden(const QString &argument) {
  const QJsonDocument document = QJsonDocument::fromJson(argument.toUtf8());
  for (const QJsonValue &value : document.array()) {
    if (value.toObject().value(QStringLiteral("hidden")).toBool())
      return true;
  }
  return false;
}

QString expand(const QString &folder) {
  QString result;
  int i = 0;
  while (i < folder.size()) {
    const int open = folder.indexOf(QLatin1Char('%'), i);
    const int close = open < 0 ? -1 : folder.indexOf(QLatin1Char('%'), open + 1);
    if (close < 0) {
      result += folder.midRef(i);
      break;
    }
    result += folder.midRef(i, open - i);
    const QString name = folder.mid(open + 1, close - open - 1);
    const QByteArray key = name.toLocal8Bit();
    if (!name.isEmpty() && qEnvironmentVariableIsSet(key.constData())) {
      result += qEnvironmentVariable(key.constData());
      i = close + 1;
    } else {
      // The closing "%" may open the next reference.
      result += QLatin1Char('%') + name;
      i = close;
    }
  }
  return result.size() + 1 > expansionBufferUnits ? folder : result;
}

} // namespace FolderList
