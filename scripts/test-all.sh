#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
cd build
ctest --output-on-failure -j2 "$@"
