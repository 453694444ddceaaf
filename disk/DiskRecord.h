#pragma once
// One physical disk as scripts see it, and the parser of a disk tool's column
// text (a header line, then model, serial number and size per line, columns
// separated by runs of two or more spaces).
#include <QJsonObject>
#include <QString>
#include <QVector>

struct DiskRecord {
  static constexpr int applicationId = 10001;

  QString model;
  QString serialNumber;
  double size = 0;
  int appId = applicationId;

  QJsonObject toJson() const;

  static QVector<DiskRecord> parseColumnText(const QString &text);
};
