#!/usr/bin/env bash
# Runs the program with command-line options that answer without opening the window and
# checks what it prints and the exit code.
# usage: cli.sh PROGRAM
set -uo pipefail
program=$1
export QT_QPA_PLATFORM=offscreen
failures=0

expect() { # description, expected exit code, actual exit code
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: exit code $3, expected $2"
        failures=$((failures + 1))
    fi
}

# Help and version need no display.
out=$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$program" --version 2>/dev/null); code=$?
expect "--version" 0 "$code"
if [ "$out" != "KLM-704 2.02" ]; then
    echo "FAIL: --version printed '$out'"
    failures=$((failures + 1))
fi

out=$(env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$program" --help 2>/dev/null); code=$?
expect "--help" 0 "$code"
for option in --device --connect; do
    case "$out" in
    *"$option"*) ;;
    *) echo "FAIL: --help does not list $option"; failures=$((failures + 1)) ;;
    esac
done

err=$("$program" --no-such-option 2>&1 >/dev/null); code=$?
expect "unknown option" 2 "$code"
case "$err" in
*no-such-option*) ;;
*) echo "FAIL: the error does not name the option: '$err'"; failures=$((failures + 1)) ;;
esac

out=$("$program" stray 2>/dev/null); code=$?
expect "stray argument" 2 "$code"
if [ -n "$out" ]; then
    echo "FAIL: a usage error printed on standard output: '$out'"
    failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "PASS: command-line answers"
exit "$failures"
