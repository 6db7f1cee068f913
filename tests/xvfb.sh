# Shared by the window checks: source it, then call start_xvfb and wait_for_window.

# Exits with 77 (skipped) when one of the named tools is missing.
require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

# Starts Xvfb, exports DISPLAY and makes workdir a fresh temporary folder (the program's journal
# goes there too); both go away when the script exits.
start_xvfb() {
    workdir=$(mktemp -d)
    export XDG_DATA_HOME="$workdir/data"
    trap 'stop_xvfb; rm -rf "$workdir"' EXIT
    for attempt in 1 2 3; do
        launch_xvfb && return 0
        echo "Xvfb attempt $attempt did not give a usable display" >&2
        cat "$workdir/xvfb.log" >&2
        stop_xvfb
    done
    echo "FAIL: Xvfb did not start" && exit 1
}

stop_xvfb() {
    [ -z "${xvfb:-}" ] || { kill "$xvfb"; wait "$xvfb"; } 2>/dev/null || true
    xvfb=""
}

# Xvfb picks a free display itself and writes its number to descriptor 5, so checks that run
# close together do not race for one; the display counts once a client has reached it.
launch_xvfb() {
    : >"$workdir/display"
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$workdir/display" 2>"$workdir/xvfb.log" &
    xvfb=$!
    for _ in $(seq 1 100); do
        [ -s "$workdir/display" ] && break
        sleep 0.05
    done
    [ -s "$workdir/display" ] || return 1
    export DISPLAY=":$(head -n1 "$workdir/display")"
    unset QT_QPA_PLATFORM
    for _ in $(seq 1 50); do
        kill -0 "$xvfb" 2>/dev/null || return 1
        xwininfo -root >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

# Waits up to 20 s until process pid maps the main window; sets window to its X window id. A busy
# display can turn a query away ("unable to open display"); that counts as no window yet.
wait_for_window() {
    for _ in $(seq 1 200); do
        kill -0 "$1" 2>/dev/null || { echo "FAIL: the program ended before its window appeared"; cat "$workdir/out.log"; exit 1; }
        window=$(xwininfo -root -tree 2>/dev/null | awk '/"KLM-704 v2.02 "/ {print $1; exit}') || window=""
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    echo "FAIL: no window titled KLM-704 was mapped"
    kill "$1" 2>/dev/null; exit 1
}
