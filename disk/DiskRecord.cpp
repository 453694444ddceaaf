#include "disk/DiskRecord.h"

#include <QRegularExpression>

QJsonObject DiskRecord::toJson() const {
  return QJsonObject{{QStringLiteral("appId"), appId},
                     {QStringLiteral("diskModel"), model},
                     {QStringLiteral("diskSerialNumber"), serialNumber},
                     {QStringLiteral("diskSize"), size}};
}

// A single space stays inside a value; pieces are not trimmed, so the line end
// leaves a last, empty piece. A disk without a serial number leaves one long
// run between model and size, which shifts the size into the serial column.
QVector<DiskRecord> DiskRecord::parseColumnText(const QString &text) {
  static const QRegularExpression blank(QStringLiteral("^\\s*$"));
  static const QRegularExpression separator(QStringLiteral("\\s{2,}"));
  QVector<DiskRecord> records;
  for (const QString &line : text.split(QLatin1Char('\n'))) {
    if (blank.match(line).hasMatch())
      continue;
    const QStringList pieces = line.split(separator);
    if (pieces.size() <= 2 || pieces[0] == QLatin1String("Model") ||
        pieces[1] == QLatin1String("SerialNumber"))
      continue;
    DiskRecord record;
    record.model = pieces[0];
    record.serialNumber = pieces[1];
    bool ok = false;
    const double size = pieces[2].toDouble(&ok);
    record.size = ok ? size : 0;
    records.append(record);
  }
  return records;
}
