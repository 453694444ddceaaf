#!/usr/bin/env bash
# Runs a command with HOME and the XDG folders in a fresh temporary folder,
# removed afterwards, so tests never touch the user's own files.
set -u
root=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-test.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home/Desktop" "$root/config" "$root/data" "$root/cache" "$root/runtime" "$root/tmp"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" \
  XDG_CACHE_HOME="$root/cache" XDG_STATE_HOME="$root/state" XDG_RUNTIME_DIR="$root/runtime" XDG_DESKTOP_DIR="$root/home/Desktop" \
  TMPDIR="$root/tmp" TW_TEST_ROOT="$root"
"$@"
