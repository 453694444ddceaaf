#include "platform/os/PackageOwner.h"

#include <QDir>
#include <QFile>

namespace PackageOwner {

QString of(const QString &path, const QString &infoDir, const QStringList &candidates) {
  const QDir info(infoDir);
  QStringList lists;
  if (candidates.isEmpty())
    lists = info.entryList({QStringLiteral("*.list")}, QDir::Files);
  for (const QString &package : candidates) // "name.list" or "name:arch.list"
    lists += info.entryList(
        {package + QStringLiteral(".list"), package + QStringLiteral(":*.list")}, QDir::Files);
  const QByteArray line = '\n' + QFile::encodeName(QDir::cleanPath(path)) + '\n';
  for (const QString &list : qAsConst(lists)) {
    QFile file(info.filePath(list));
    if (file.open(QIODevice::ReadOnly) && ('\n' + file.readAll()).contains(line))
      return list.left(list.size() - 5).section(QLatin1Char(':'), 0, 0);
  }
  return QString();
}

} // namespace PackageOwner
