#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test,
# then the native unit tests again under AddressSanitizer and
# ThreadSanitizer (scripts/sanitized-tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
(cd build && ctest --output-on-failure -j2 "$@")
scripts/sanitized-tests.sh
