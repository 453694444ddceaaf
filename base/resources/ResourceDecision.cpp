#include "base/resources/ResourceDecision.h"

namespace ResourceDecision {
namespace {

const QString appPrefix = QStringLiteral("this://app/");

// The archive path of a URL under the prefix.
QString itemPath(const QString &url) {
  QString path = url.mid(appPrefix.size());
  // "this://app//x" and "this://app///x" both name the item "x".
  if (path.startsWith(QLatin1String("//")))
    path.remove(0, 2);
  else if (path.startsWith(QLatin1Char('/')))
    path.remove(0, 1);
  return path;
}

} // namespace

Decision decide(const QString &url, const ItemLookup &lookup) {
  // Program resources ("res:") do not exist on this platform: the program
  // file carries none, so every such request is unavailable.
  if (url.startsWith(QLatin1String("res:"), Qt::CaseSensitive))
    return {Action::Discard};
  if (!url.startsWith(appPrefix, Qt::CaseSensitive))
    return {Action::Load};
  Decision d{Action::Discard};
  if (lookup && lookup(itemPath(url), &d.data, &d.size) && d.data && d.size > 0)
    d.action = Action::HandOver;
  else
    d = {Action::Discard};
  return d;
}

} // namespace ResourceDecision
