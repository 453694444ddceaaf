#pragma once
// The engine library, bound once per process on first use. A missing
// library or export, or an engine of another version, ends the process with
// exit status 255.
#include "tidewell/engine-api.h"

namespace EngineBinding {

// The file the program looks for beside itself (its RPATH is $ORIGIN).
inline const char *libraryName() {
  return "libtidewell-engine.so";
}

const ISciterAPI &api();

} // namespace EngineBinding
