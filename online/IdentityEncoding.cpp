#include "online/IdentityEncoding.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace IdentityEncoding {

void ask(QNetworkRequest &request) {
  request.setRawHeader("Accept-Encoding", "identity");
}

QString refusal(const QNetworkReply &reply) {
  const QByteArray encoding = reply.rawHeader("Content-Encoding").trimmed().toLower();
  if (encoding.isEmpty() || encoding == "identity")
    return QString();
  return QStringLiteral("unsupported content encoding: %1").arg(QString::fromLatin1(encoding));
}

} // namespace IdentityEncoding
