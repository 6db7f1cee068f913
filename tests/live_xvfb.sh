#!/usr/bin/env bash
# Starts the program on a virtual X display with the built-in virtual meter, once without and
# once with --connect, and counts the dark pixels of the reading panel in a photograph of its
# window: none before any connection, the reading's text once connected.
# usage: live_xvfb.sh PROGRAM
set -euo pipefail
program=$1
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo import convert
start_xvfb
# The program's settings go into the temporary folder, not beside the built program; its
# diagnostics stay as a user gets them, off.
export KLM704_SETTINGS_FILE="$workdir/options.xml"
unset QT_LOGGING_RULES
cd "$workdir"

# Sets ink to the dark pixels in the LCD dock's area of the window as first laid out (below the
# menu bar, the toolbars and the dock's title), after the program has run with the arguments for
# the seconds given, or once there are enough of them.
panel_ink() {
    local seconds=$1 enough=$2
    shift 2
    ink=0
    "$program" "$@" >"$workdir/out.log" 2>&1 &
    pid=$!
    wait_for_window "$pid"
    for _ in $(seq 1 $((seconds * 2))); do
        sleep 0.5
        # A photograph the busy display turned away is taken again at the next turn.
        import -window "$window" "$workdir/window.png" 2>/dev/null || continue
        ink=$(convert "$workdir/window.png" -crop 450x175+0+150 +repage -colorspace Gray \
            -threshold 30% -format '%[fx:round(w*h*(1-mean))]' info:)
        [ "$ink" -ge "$enough" ] && break
    done
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended by itself"; cat out.log; exit 1; }
    kill -TERM "$pid"
    wait "$pid" || true
}

# Two seconds cover two sample periods of the driver; the first reading is due within a second.
panel_ink 2 999999 --device sim
idle=$ink
panel_ink 15 500 --device sim --connect
live=$ink
echo "dark pixels in the panel: $idle without a connection, $live connected"
[ "$idle" -le 50 ] || { echo "FAIL: the panel shows something before any connection"; exit 1; }
[ "$live" -ge 500 ] || { echo "FAIL: the connected panel shows no reading"; exit 1; }
! grep -m 3 '^klm704\.' "$workdir/out.log" || { echo "FAIL: diagnostics on standard error by default"; exit 1; }
echo "PASS: --connect on the virtual meter shows a live reading"
