#!/usr/bin/env bash
# Configures and builds the whole tree into build/ (programs and tools land
# in build/bin, the installable folder in build/payload).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_WARNINGS_AS_ERRORS=ON \
  -DCMAKE_INSTALL_PREFIX=/usr "$@"
cmake --build build -j2
