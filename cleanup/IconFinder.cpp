#include "cleanup/IconFinder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int scalableSize = 1 << 20;

bool isIconFile(const QString &name) {
  return name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ||
         name.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
}

QString baseName(const QString &name) {
  return isIconFile(name) || name.endsWith(QLatin1String(".xpm"), Qt::CaseInsensitive)
             ? name.left(name.size() - 4)
             : name;
}

// The size a theme folder holds: "48x48", "48x48@2" or "scalable" in its path.
int sizeOf(const QString &relativeFolder) {
  static const QRegularExpression sized(QStringLiteral("^(\\d+)x\\d+(?:@(\\d+))?$"));
  int size = 0;
  for (const QString &part : relativeFolder.split(QLatin1Char('/'))) {
    if (part == QLatin1String("scalable"))
      return scalableSize;
    const QRegularExpressionMatch match = sized.match(part);
    if (match.hasMatch())
      size = match.captured(1).toInt() * qMax(1, match.captured(2).toInt());
  }
  return size;
}

bool isRegularFile(const QString &path) {
  const QFileInfo info(path);
  return info.isFile();
}

} // namespace

IconFinder::IconFinder(const QStringList &iconDirs, const QString &theme, const QString &pixmapDir)
    : iconDirs_(iconDirs), pixmapDir_(pixmapDir) {
  if (!theme.isEmpty() && theme != QLatin1String("hicolor"))
    themes_.append(theme);
  themes_.append(QStringLiteral("hicolor"));
}

QString IconFinder::find(const QString &icon) {
  if (icon.isEmpty())
    return QString();
  if (QDir::isAbsolutePath(icon))
    return isRegularFile(icon) ? icon : QString();
  const QString name = baseName(icon);
  for (const QString &theme : themes_) {
    const auto found = themeIndex(theme).constFind(name);
    if (found != themeIndex(theme).constEnd())
      return found->path;
  }
  for (const QString &suffix : {QStringLiteral(".svg"), QStringLiteral(".png")}) {
    const QString path = pixmapDir_ + QLatin1Char('/') + name + suffix;
    if (isRegularFile(path))
      return path;
  }
  return QString();
}

const IconFinder::Index &IconFinder::themeIndex(const QString &theme) {
  const auto built = indexes_.constFind(theme);
  if (built != indexes_.constEnd())
    return *built;
  Index index;
  for (const QString &dir : iconDirs_) {
    const QString root = dir + QLatin1Char('/') + theme;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      const QString file = it.fileName();
      if (!isIconFile(file))
        continue;
      const int size = sizeOf(QFileInfo(path).path().mid(root.size()));
      Candidate &best = index[file.left(file.size() - 4)];
      if (best.path.isEmpty() || size > best.size)
        best = {path, size};
    }
  }
  return indexes_[theme] = index;
}
