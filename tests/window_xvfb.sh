#!/usr/bin/env bash
# Starts the program on a virtual X display, waits for its main window, checks that the program
# keeps running, then ends it with SIGTERM, and once more with SIGINT: each time it must close
# like the Close action, writing back the settings file it read. usage: window_xvfb.sh PROGRAM
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo
start_xvfb
export KLM704_SETTINGS_FILE="$workdir/options.xml"
cd "$workdir"
for signal in TERM INT; do
    echo "<options><SamplePoints>77</SamplePoints></options>" >"$KLM704_SETTINGS_FILE"
    "$1" >"$workdir/out.log" 2>&1 &
    pid=$!
    wait_for_window "$pid"
    sleep 1
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended after its window appeared"; exit 1; }
    kill -"$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { echo "FAIL: SIG$signal ended the program with status $status"; exit 1; }
    grep -q "<SamplePoints>77</SamplePoints>" "$KLM704_SETTINGS_FILE" && grep -q "<Geometry>" "$KLM704_SETTINGS_FILE" ||
        { echo "FAIL: SIG$signal did not write the settings back"; cat "$KLM704_SETTINGS_FILE"; exit 1; }
done
echo "PASS: the main window was mapped, and SIGTERM and SIGINT closed it writing the settings"
