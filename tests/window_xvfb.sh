#!/usr/bin/env bash
# Starts the program on a virtual X display, waits until its main window is mapped, checks
# that the program is still running, then ends it.
# usage: window_xvfb.sh PROGRAM
set -euo pipefail
program=$1
for tool in Xvfb xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

workdir=$(mktemp -d)
# Xvfb picks a free display number itself and writes it to the given descriptor, so runs that
# follow each other closely never race for the same display.
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$workdir"' EXIT
for _ in $(seq 1 100); do
    [ -s "$workdir/display" ] && break
    sleep 0.05
done
if [ ! -s "$workdir/display" ]; then
    echo "FAIL: Xvfb did not start"
    cat "$workdir/xvfb.log"
    exit 1
fi
export DISPLAY=":$(head -n1 "$workdir/display")"
unset QT_QPA_PLATFORM
# The window writes its settings when it closes; they go to the scratch folder.
export KLM704_SETTINGS_FILE="$workdir/options.xml"
cd "$workdir"
"$program" >"$workdir/out.log" 2>&1 &
pid=$!

mapped=""
for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the program ended before its window appeared"
        cat "$workdir/out.log"
        exit 1
    fi
    if xwininfo -root -tree | grep -q '"KLM-704 v2.02 '; then
        mapped=yes
        break
    fi
    sleep 0.1
done
if [ -z "$mapped" ]; then
    echo "FAIL: no window titled KLM-704 was mapped"
    xwininfo -root -tree | head -40
    kill "$pid"
    exit 1
fi
xwininfo -root -tree | grep '"KLM-704' || true
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the program ended after its window appeared"
    exit 1
fi
kill -TERM "$pid"
wait "$pid" || true
echo "PASS: the main window was mapped and the program kept running"
