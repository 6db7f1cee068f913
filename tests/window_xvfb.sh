#!/usr/bin/env bash
# Starts the program on a virtual X display, waits for its main window, checks that the program
# keeps running, then ends it. usage: window_xvfb.sh PROGRAM
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo
start_xvfb
export KLM704_SETTINGS_FILE="$workdir/options.xml" # written at close
cd "$workdir"
"$1" >"$workdir/out.log" 2>&1 &
pid=$!
wait_for_window "$pid"
sleep 1
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended after its window appeared"; exit 1; }
kill -TERM "$pid"
wait "$pid" || true
echo "PASS: the main window was mapped and the program kept running"
