#include "platform/registry/RegistryFactory.h"

#include <QStandardPaths>

#include "platform/registry/SqliteRegistry.h"

QString userRegistryPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Tidewell/registry.db");
}

std::unique_ptr<Registry> createUserRegistry() {
  return std::make_unique<SqliteRegistry>(userRegistryPath());
}
