#include "platform/os/linux/LinuxSystemApi.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <sys/utsname.h>

#include "platform/os/linux/RouteTable.h"

namespace {

// One argument of a command line, quoted so that the line splits back.
QString quotedArgument(const QString &argument) {
  if (!argument.isEmpty() && !argument.contains(QRegularExpression(QStringLiteral("[\\s\"]"))))
    return argument;
  QString escaped = argument;
  escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
  return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

LinuxSystemApi::LinuxSystemApi(QString routeTable) : routeTable_(std::move(routeTable)) {}

int LinuxSystemApi::processorArchitecture() const {
  struct utsname name;
  if (::uname(&name) != 0)
    return Unknown;
  const QByteArray machine(name.machine);
  if (machine == "x86_64")
    return Amd64;
  if (machine == "aarch64" || machine == "arm64")
    return Arm64;
  if (machine == "ia64")
    return Ia64;
  if (machine.startsWith("arm"))
    return Arm;
  if (QRegularExpression(QStringLiteral("^i[3-6]86$"))
          .match(QString::fromLatin1(machine))
          .hasMatch())
    return Intel;
  return Unknown;
}

bool LinuxSystemApi::verifyVersion(int, int, int) const {
  return false;
}

bool LinuxSystemApi::hasDefaultRoute() const {
  return RouteTable::hasDefaultRoute(routeTable_);
}

QString LinuxSystemApi::commandLine() const {
  QFile file(QStringLiteral("/proc/self/cmdline"));
  if (!file.open(QIODevice::ReadOnly))
    return QString();
  QByteArray content = file.readAll();
  if (content.endsWith('\0'))
    content.chop(1);
  QStringList arguments;
  for (const QByteArray &argument : content.split('\0'))
    arguments.append(quotedArgument(QString::fromLocal8Bit(argument)));
  return arguments.join(QLatin1Char(' '));
}

QString LinuxSystemApi::programFile() const {
  // A program replaced while it runs (an update) keeps its old path with
  // this mark, which is no file name to start.
  const QString deleted = QStringLiteral(" (deleted)");
  QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
  if (path.endsWith(deleted))
    path.chop(deleted.size());
  return path;
}
