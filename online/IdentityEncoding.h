#pragma once
// Bodies are asked for as they are. Qt unpacks a gzip or deflate body on its
// own thread, whole, before anything can look at it: a few megabytes from a
// server become gigabytes here. A server that encodes its answer anyway is
// refused rather than unpacked.
#include <QString>

class QNetworkReply;
class QNetworkRequest;

namespace IdentityEncoding {

// "Accept-Encoding: identity", which also keeps Qt from unpacking.
void ask(QNetworkRequest &request);
// Why the reply's body is not taken ("unsupported content encoding: gzip");
// empty for a body as it is.
QString refusal(const QNetworkReply &reply);

} // namespace IdentityEncoding
