#!/usr/bin/env bash
# Runs a command against its own Xvfb server. The server picks a free display
# itself (-displayfd), so any number of these can start at once without two
# of them racing for the same display number, as xvfb-run -a does. -noreset
# keeps the server up between programs: a reset after the last client left
# refuses the next one for a moment.
set -u
fifo=$(mktemp -u "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")
mkfifo "$fifo"
Xvfb -displayfd 4 -screen 0 1600x1200x24 -nolisten tcp -noreset 4>"$fifo" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 30 display <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
"$@"
