// tidewell-clean-helper clean ID [KEY...]
// Runs one allow-listed system cleaner as root. Started through pkexec, so
// it trusts nothing it is given: ID must be in the table, and the keys only
// choose among the items the cleaner lists itself; a key is never used as a
// path or an argument. Prints the result as one JSON object.
// Exit status 0 when everything chosen went, 1 when something stayed or
// failed, 2 when refused.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

#include <unistd.h>

#include "cleanup/SystemCleaners.h"

namespace {

int refuse(const QString &message) {
  QTextStream(stderr) << message << '\n';
  return 2;
}

// The fixed folders, moved under a prepared tree in the test build only.
QString systemRoot() {
#ifdef TW_CLEAN_HELPER_TEST_ROOT
  const QByteArray root = qgetenv("TIDEWELL_CLEAN_TEST_ROOT");
  if (!root.isEmpty())
    return QString::fromLocal8Bit(root);
#endif
  return QStringLiteral("/");
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = application.arguments().mid(1);
  if (arguments.size() < 2 || arguments[0] != QLatin1String("clean"))
    return refuse(QStringLiteral("usage: tidewell-clean-helper clean ID [KEY...]"));
  if (!SystemCleaners::isKnown(arguments[1]) || !SystemCleaners::needsRoot(arguments[1]))
    return refuse(QStringLiteral("not an allow-listed system cleaner: ") + arguments[1]);
  if (::geteuid() != 0)
    return refuse(QStringLiteral("must run as root"));
  const SystemCleanResult result =
      SystemCleaners(systemRoot()).cleanHere(arguments[1], arguments.mid(2));
  QTextStream(stdout) << QJsonDocument(result.toJson(arguments[1])).toJson(QJsonDocument::Compact)
                      << '\n';
  return result.result == QLatin1String("cleaned") ? 0 : 1;
}
