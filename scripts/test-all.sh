#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything, runs the README's
# main job in a home of its own, then every test, then the native unit tests
# again under AddressSanitizer and ThreadSanitizer
# (scripts/sanitized-tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
# The main job as a newcomer runs it, without a display; it fails unless the
# application and its launchers are where it says.
env -u DISPLAY -u WAYLAND_DISPLAY scripts/isolated-env.sh scripts/main-job.sh
(cd build && ctest --output-on-failure -j2 "$@")
scripts/sanitized-tests.sh
