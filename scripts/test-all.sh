#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and the Debian
# package, runs the README's main job in a home of its own, then every test
# (the package's checks among them), then the native unit tests
# again under AddressSanitizer and ThreadSanitizer
# (scripts/sanitized-tests.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
# The Debian package, which the test package_check validates.
cmake --build build --target package
(cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
# The main job as a newcomer runs it, without a display; it fails unless the
# application and its launchers are where it says.
env -u DISPLAY -u WAYLAND_DISPLAY scripts/isolated-env.sh scripts/main-job.sh
(cd build && ctest --output-on-failure -j2 "$@")
scripts/sanitized-tests.sh
