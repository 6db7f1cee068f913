#!/usr/bin/env bash
# Starts the program on a virtual X display, waits until its main window is mapped, checks
# that the program is still running, then ends it.
# usage: window_xvfb.sh PROGRAM
set -euo pipefail
program=$1
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo
start_xvfb
# The window writes its settings when it closes; they go to the scratch folder.
export KLM704_SETTINGS_FILE="$workdir/options.xml"
cd "$workdir"
"$program" >"$workdir/out.log" 2>&1 &
pid=$!
wait_for_window "$pid"
xwininfo -root -tree | grep '"KLM-704' || true
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program ended after its window appeared"
    exit 1
fi
kill -TERM "$pid"
wait "$pid" || true
echo "PASS: the main window was mapped and the program kept running"
