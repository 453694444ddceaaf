#pragma once
// Autostart folders in a temporary tree, and what the session's own
// generator makes of them.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace AutostartTest {

inline const char generator[] = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";

inline bool writeFile(const QString &path, const QByteArray &content) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entries the generator makes units for, by their file's path, and the
// ExecStart line of each unit. A unit for OnlyShowIn or NotShowIn carries
// an ExecCondition that decides at start against $XDG_CURRENT_DESKTOP;
// started holds the entries whose condition passes here.
struct Units {
  QSet<QString> sources;
  QSet<QString> started;
  QMap<QString, QString> execStart;
};

inline bool conditionPasses(const QString &condition) {
  static const QRegularExpression form(QStringLiteral(R"re(^(\S+) "([^"]*)" "([^"]*)"$)re"));
  const QRegularExpressionMatch match = form.match(condition);
  if (!match.hasMatch())
    return false;
  return QProcess::execute(match.captured(1), {match.captured(2), match.captured(3)}) == 0;
}

inline Units generatedUnits(const QString &scratch) {
  const QString out = scratch + QStringLiteral("/units");
  QDir(out).removeRecursively();
  QDir().mkpath(out);
  QProcess process;
  process.start(QLatin1String(generator), {out, out, out});
  process.waitForFinished();
  Units units;
  for (const QString &name : QDir(out).entryList({QStringLiteral("*.service")}, QDir::Files)) {
    QString source, exec, condition;
    for (const QByteArray &line : readFile(out + QLatin1Char('/') + name).split('\n')) {
      if (line.startsWith("SourcePath="))
        source = QString::fromUtf8(line.mid(11));
      if (line.startsWith("ExecStart="))
        exec = QString::fromUtf8(line.mid(10));
      if (line.startsWith("ExecCondition="))
        condition = QString::fromUtf8(line.mid(14));
    }
    units.sources.insert(source);
    if (condition.isEmpty() || conditionPasses(condition))
      units.started.insert(source);
    units.execStart.insert(source, exec);
  }
  return units;
}

} // namespace AutostartTest

#define SKIP_WITHOUT_GENERATOR()                                                                   \
  if (!QFileInfo(QLatin1String(AutostartTest::generator)).isExecutable())                          \
  GTEST_SKIP() << "systemd-xdg-autostart-generator is not installed (package systemd)"
