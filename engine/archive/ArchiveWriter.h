#pragma once
// Builds a "SAr" resource archive: items named by lower-cased ASCII paths,
// a ternary-search-tree index, items LZF-compressed when that saves at
// least a fifth.
#include <QByteArray>
#include <QString>
#include <QVector>

class ArchiveWriter {
public:
  // Adds an item. name is its path relative to the archive root with "/"
  // separators; it is stored lower-cased. source names the item in error
  // messages (the file it came from); the name is used when it is empty.
  void add(const QString &name, const QByteArray &data, const QString &source = QString());

  // The archive of every item added so far. On failure returns false and
  // sets error to the cause and the item it concerns.
  bool build(QByteArray *archive, QString *error) const;

private:
  struct Entry {
    QString name;
    QByteArray data;
    QString source;
  };
  QVector<Entry> entries;
};
