#include "engine/src/Inspector.h"

#include <QString>

#include "engine/include/tidewell/engine-api.h"

namespace Inspector {

int port(bool debug) {
#if TW_ENGINE_INSPECTOR
  bool ok = false;
  const int port = qEnvironmentVariable(TW_ENGINE_INSPECTOR_PORT_ENV).toInt(&ok);
  return debug && ok && port > 0 && port < 65536 ? port : 0;
#else
  Q_UNUSED(debug);
  return 0;
#endif
}

} // namespace Inspector
