#include "cleanup/PackageNames.h"

#include <QRegularExpression>

namespace PackageNames {
namespace {

bool matches(const QString &text, const char *pattern) {
  const QRegularExpression expression{QLatin1String(pattern)};
  return expression.match(text).hasMatch();
}

} // namespace

bool isFlatpakAppId(const QString &id) {
  return id.size() <= 255 &&
         matches(id,
                 "^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+\\.[A-Za-z_-][A-Za-z0-9_-]*$");
}

bool isSnapInstanceName(const QString &name) {
  const QString snap = name.section(QLatin1Char('_'), 0, 0);
  // snapd's rule, spelled without its nested repetition.
  return snap.size() <= 40 && matches(snap, "^[a-z0-9]+(-[a-z0-9]+)*$") && matches(snap, "[a-z]") &&
         (snap.size() == name.size() || matches(name.mid(snap.size()), "^_[a-z0-9]{1,10}$"));
}

bool isDebianPackage(const QString &name) {
  return matches(name, "^[a-z0-9][a-z0-9+.-]+$");
}

bool isDebianVersion(const QString &version) {
  return matches(version, "^[A-Za-z0-9.+~:-]+$");
}

bool isDebianArchitecture(const QString &architecture) {
  return matches(architecture, "^[a-z0-9-]+$");
}

} // namespace PackageNames
