#!/usr/bin/env bash
# Runs the window program with options that answer without opening the window, and the virtual
# meter program with options that end it at once; checks what each prints and its exit code.
# usage: cli.sh KLM704 VX310A_SIM
set -uo pipefail
program=$1
errors=$(mktemp)
scratch=$(mktemp -d)
trap 'rm -f "$errors"; rm -rf "$scratch"' EXIT
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
code=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM KLM704_SETTINGS_FILE="$scratch/options.xml" \
    XDG_DATA_HOME="$scratch" timeout 3 "$program" -platform offscreen --device sim >/dev/null 2>&1 || code=$?
[ "$code" = 124 ] || { echo "FAIL: -platform offscreen without a display: exit code $code"; failures=$((failures + 1)); }

# A link that cannot open at --connect is tried once, so its diagnostic line comes once.
opens=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QT_LOGGING_RULES="klm704.link=true" \
    KLM704_SETTINGS_FILE="$scratch/options.xml" XDG_DATA_HOME="$scratch" timeout 3 "$program" \
    -platform offscreen --device serial:"$scratch/none" --connect 2>&1 | grep -c 'Cannot open device')
[ "$opens" = 1 ] || { echo "FAIL: a failed open logged $opens times"; failures=$((failures + 1)); }

program=$2
check "simulator --version" 0 '^vx310a-sim 2\.02$' --version
check "simulator --help lists the exit statuses" 0 'Exit status:.*  2  usage error' --help
check "simulator: unknown option" 2 "Unknown option 'bogus'" --bogus
check "simulator: seed not a number" 2 'the seed must be a whole number' --seed x
check "simulator: unknown baud rate" 2 'the baud rate must be one of .*115200' --baud 12345 /dev/null
check "simulator: link in a missing folder" 1 \
    "Cannot make the link $scratch/nodir/meter to /dev/pts/[0-9]+: No such file or directory" \
    --link "$scratch/nodir/meter"
check "simulator: a device that is no serial line" 1 'Cannot read the settings of /dev/null: .' /dev/null

[ "$failures" -eq 0 ] && echo "PASS: command-line answers"
exit "$failures"
