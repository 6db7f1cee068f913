# Shared by the window checks: a virtual X display and a program window on it.
# Source it, then call start_xvfb and wait_for_window.

# Exits with 77 (skipped) when one of the named tools is missing.
require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed"
            exit 77
        fi
    done
}

# Starts Xvfb on a free display, exports DISPLAY and makes workdir a fresh temporary folder;
# both go away when the script exits.
start_xvfb() {
    workdir=$(mktemp -d)
    # The program's journal and other user files stay in the scratch folder.
    export XDG_DATA_HOME="$workdir/data"
    trap 'stop_xvfb; rm -rf "$workdir"' EXIT
    local attempt
    for attempt in 1 2 3; do
        launch_xvfb && return 0
        echo "Xvfb attempt $attempt did not give a usable display" >&2
        cat "$workdir/xvfb.log" >&2
        stop_xvfb
    done
    echo "FAIL: Xvfb did not start"
    exit 1
}

stop_xvfb() {
    if [ -n "${xvfb:-}" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    xvfb=""
}

# One try: Xvfb picks a free display number itself and writes it to the given descriptor, so
# runs that follow each other closely do not race for the same display. Other programs on the
# machine may start and stop X servers at the same moment, so the display is only taken once
# a client has reached it.
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

# Waits until process pid maps the main window; sets window to its X window id. Fails when the
# process ends first or no window appears within 20 s.
wait_for_window() {
    local pid=$1
    window=""
    for _ in $(seq 1 200); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: the program ended before its window appeared"
            cat "$workdir/out.log"
            exit 1
        fi
        window=$(xwininfo -root -tree | awk '/"KLM-704 v2.02 "/ {print $1; exit}')
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    echo "FAIL: no window titled KLM-704 was mapped"
    xwininfo -root -tree | head -40
    kill "$pid"
    exit 1
}
