#pragma once
// Finds the file of a menu entry's Icon: an absolute path as it stands, or a
// theme name in the icon theme folders (the desktop's theme, then hicolor,
// then the pixmaps folder), the largest PNG or SVG found.
#include <QHash>
#include <QString>
#include <QStringList>

class IconFinder {
public:
  IconFinder(const QStringList &iconDirs, const QString &theme, const QString &pixmapDir);

  // Empty when nothing is found.
  QString find(const QString &icon);

private:
  struct Candidate {
    QString path;
    int size = 0; // pixels; scalable counts as the largest
  };
  using Index = QHash<QString, Candidate>;

  const Index &themeIndex(const QString &theme);

  QStringList iconDirs_;
  QStringList themes_;
  QString pixmapDir_;
  QHash<QString, Index> indexes_; // built once per theme, on first use
};
