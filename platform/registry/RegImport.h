#pragma once
// Import of the .reg text format: the whole file becomes one batch, so an
// import is applied completely or not at all.
#include <QByteArray>

#include "platform/registry/RegistryBatch.h"

struct RegImport {
  RegistryBatch batch;
  int errorLine = 0; // 1-based; 0 when the file is well-formed
  QString error;
  bool ok() const { return errorLine == 0; }
};

// Reads UTF-16 (with its byte-order mark) or UTF-8 text.
RegImport parseRegText(const QByteArray &bytes);
