#!/usr/bin/env bash
# Starts the program on a virtual X display with the built-in virtual meter, once without and
# once with --connect, photographs its window a few seconds later and compares the reading
# panel: empty before any connection, covered with the reading's dark text once connected.
# usage: live_xvfb.sh PROGRAM
set -euo pipefail
program=$1
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo import convert
start_xvfb
cd "$workdir"

# The LCD dock's contents in the window as first laid out: value, function, unit and AUTO.
panel_area=450x175+0+125

# Dark pixels in the panel area of the window now.
panel_ink() {
    import -window "$window" "$workdir/window.png"
    convert "$workdir/window.png" -crop "$panel_area" +repage -colorspace Gray -threshold 30% \
        -format '%[fx:round(w*h*(1-mean))]' info:
}

# Starts the program with args and waits for its window; sets pid.
start_program() {
    "$program" "$@" >"$workdir/out.log" 2>&1 &
    pid=$!
    wait_for_window "$pid"
}

stop_program() {
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the program ended by itself"
        cat "$workdir/out.log"
        exit 1
    fi
    kill -TERM "$pid"
    wait "$pid" || true
}

# Without a connection nothing may appear, however long the panel is watched: two seconds
# cover two sample periods of the driver.
start_program --device sim
sleep 2
idle=$(panel_ink)
stop_program

# Connected, the virtual meter answers at the meter's line speed and the first reading is due
# within a second; it is given fifteen.
start_program --device sim --connect
live=0
for _ in $(seq 1 30); do
    live=$(panel_ink)
    [ "$live" -ge 500 ] && break
    sleep 0.5
done
stop_program

echo "dark pixels in the panel: $idle without a connection, $live connected"
if [ "$idle" -gt 50 ]; then
    echo "FAIL: the panel shows something before any connection"
    exit 1
fi
if [ "$live" -lt 500 ]; then
    echo "FAIL: the connected panel shows no reading"
    exit 1
fi
echo "PASS: --connect on the virtual meter shows a live reading"
