#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs the installer on the
# ready payload folder build/payload. Without a display it runs it under Xvfb,
# clicks through a whole installation into the user's default install folder,
# saves screenshots under build/screenshots and prints what was installed and
# how to remove it again.
#
# Packages need root; everything else runs as the user who owns the work:
# the one who called sudo, else the owner of this checkout. So build/ never
# ends up owned by root when a normal user runs this later.
set -euo pipefail
cd "$(dirname "$0")/.."

# Runs a command and prints a line every 10 s while it runs, so that a long
# quiet step is never taken for a hang.
with_ticker() {
  local what=$1
  shift
  echo "$what..."
  "$@" &
  local job=$! started=$SECONDS
  while ! wait_step "$job"; do
    echo "  $what: still running after $((SECONDS - started)) s"
  done
  wait "$job"
}

# True once the job has ended; waits at most 10 s.
wait_step() {
  local i
  for i in $(seq 1 20); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.5
  done
  return 1
}

if [ "$(id -u)" -eq 0 ]; then
  if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    worker=$SUDO_USER
  else
    worker=$(stat -c %U .)
  fi
else
  worker=$(id -un)
fi

# Runs a command as the worker, with the worker's home.
as_worker() {
  if [ "$(id -un)" = "$worker" ]; then
    "$@"
  else
    local home
    home=$(getent passwd "$worker" | cut -d: -f6)
    runuser -u "$worker" -- env HOME="$home" USER="$worker" LOGNAME="$worker" "$@"
  fi
}

with_ticker "Checking and installing the Debian packages" scripts/setup.sh
echo "Building as user $worker"
with_ticker "Building (the first build takes several minutes)" as_worker scripts/build.sh
installer=build/payload/Tidewell-installer.exe
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting $installer on the display $DISPLAY${WAYLAND_DISPLAY:+ $WAYLAND_DISPLAY}"
  exec "$installer"
fi
if [ ! -d tests/node/node_modules/ws ]; then
  with_ticker "Installing the test driver's node modules" as_worker \
    env -C tests/node npm ci --no-audit --no-fund --loglevel=error
fi
as_worker scripts/with-xvfb.sh node tests/node/main-job.mjs
