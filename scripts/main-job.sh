#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the installer on the
# ready payload folder build/payload. Without a display it runs it under Xvfb,
# clicks through a whole installation, saves screenshots under
# build/screenshots and prints what was installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
installer=build/payload/Tidewell-installer.exe
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$installer"
fi
if [ ! -d tests/node/node_modules/ws ]; then
  (cd tests/node && npm ci --no-audit --no-fund --loglevel=error)
fi
exec scripts/with-xvfb.sh node tests/node/main-job.mjs
