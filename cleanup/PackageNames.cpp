#include "cleanup/PackageNames.h"

#include <QRegularExpression>

namespace PackageNames {
namespace {

// Compiled once: a listing checks every installed package.
const QRegularExpression flatpakAppId{QStringLiteral(
    "^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+\\.[A-Za-z_-][A-Za-z0-9_-]*$")};
const QRegularExpression snapName{QStringLiteral("^[a-z0-9]+(-[a-z0-9]+)*$")};
const QRegularExpression letter{QStringLiteral("[a-z]")};
const QRegularExpression snapInstanceKey{QStringLiteral("^_[a-z0-9]{1,10}$")};
const QRegularExpression debianPackage{QStringLiteral("^[a-z0-9][a-z0-9+.-]+$")};
const QRegularExpression debianVersion{QStringLiteral("^[A-Za-z0-9.+~:-]+$")};
const QRegularExpression debianArchitecture{QStringLiteral("^[a-z0-9-]+$")};

bool matches(const QString &text, const QRegularExpression &expression) {
  return expression.match(text).hasMatch();
}

} // namespace

bool isFlatpakAppId(const QString &id) {
  return id.size() <= 255 && matches(id, flatpakAppId);
}

bool isSnapInstanceName(const QString &name) {
  const QString snap = name.section(QLatin1Char('_'), 0, 0);
  // snapd's rule, spelled without its nested repetition.
  return snap.size() <= 40 && matches(snap, snapName) && matches(snap, letter) &&
         (snap.size() == name.size() || matches(name.mid(snap.size()), snapInstanceKey));
}

bool isDebianPackage(const QString &name) {
  return matches(name, debianPackage);
}

bool isDebianVersion(const QString &version) {
  return matches(version, debianVersion);
}

bool isDebianArchitecture(const QString &architecture) {
  return matches(architecture, debianArchitecture);
}

} // namespace PackageNames
