#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the installer on the
# ready payload folder build/payload.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
echo "Built. The installer is build/payload/Tidewell-installer.exe (its pages are not yet in place)."
