#!/usr/bin/env bash
# Runs the program with options that answer without opening the window; checks what it prints and
# its exit code. usage: cli.sh PROGRAM
set -uo pipefail
program=$1
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
failures=0

# check DESCRIPTION EXIT_CODE PATTERN ARGS...: the pattern is looked for on standard output, or for
# a usage error on standard error, with nothing on standard output. None of these answers needs a
# display; PLATFORM=offscreen gives the program one.
check() {
    local description=$1 expected=$2 pattern=$3 out code
    shift 3
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=${PLATFORM:-} "$program" "$@" 2>"$errors")
    code=$?
    if [ "$expected" != 0 ]; then
        [ -z "$out" ] || pattern="^nothing on standard output$"
        out=$(<"$errors")
    fi
    if [ "$code" != "$expected" ] || [[ ! "$out" =~ $pattern ]]; then
        echo "FAIL: $description: exit code $code, printed '$out'"
        failures=$((failures + 1))
    fi
}

check "--version" 0 '^KLM-704 2\.02$' --version
check "-v" 0 '^KLM-704 2\.02$' -v
check "--help" 0 '--device.*--connect|--connect.*--device' --help
check "unknown option" 2 'no-such-option' --no-such-option
PLATFORM=offscreen check "unknown option with a display" 2 'bogus' --bogus
check "toolkit option kept apart" 2 'bogus' -platform offscreen --bogus
check "stray argument" 2 '.' stray
check "unknown device" 2 'Unknown device "foo"; use auto, sim, serial:PATH, cp2110, ch9329' \
    --device foo
check "serial without path" 2 'Unknown device' --device serial:
check "--help lists the exit statuses" 0 'Exit status:.*  1  no graphical display' --help
check "no display" 1 '^klm704 needs a graphical display \(neither DISPLAY nor WAYLAND_DISPLAY is set\); klm704-cli logs without one\.$'
check "no display, with options" 1 'needs a graphical display' --device sim --connect

# A platform chosen on the command line needs no display: the window starts, and keeps running
# until the time is up. Its settings and journal go to a temporary folder.
scratch=$(mktemp -d)
trap 'rm -f "$errors"; rm -rf "$scratch"' EXIT
code=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KLM704_SETTINGS_FILE="$scratch/options.xml" \
    XDG_DATA_HOME="$scratch" timeout 3 "$program" -platform offscreen --device sim >/dev/null 2>&1 || code=$?
[ "$code" = 124 ] || { echo "FAIL: -platform offscreen without a display: exit code $code"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "PASS: command-line answers"
exit "$failures"
