#pragma once
// Where the web service lives: an https origin fixed when the program is
// built, or an http origin on a loopback address. Tests point a built
// program at a local service through TIDEWELL_SERVICE_BASE_URL, which is
// honoured for loopback origins only, so no environment can send the
// program's requests to another machine.
#include <QString>

namespace ServiceOrigin {

// Scheme and host (and port) only: no path, query, fragment or user.
bool isAcceptable(const QString &origin);
bool isLoopback(const QString &origin);

// The loopback override when the environment gives one, else the built
// origin; empty when neither is acceptable, so every request fails.
QString current();

} // namespace ServiceOrigin
