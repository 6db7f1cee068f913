#!/usr/bin/env bash
# Writes the manual page of a program from its --help and --version, with the include files for
# what they do not say, compressed as Debian ships it. The "Exit status:" block of --help, which
# help2man takes for a subsection of the options, becomes the page's EXIT STATUS section.
# usage: manpage.sh PROGRAM SOURCE OUTPUT.gz INCLUDE...
set -euo pipefail
program=$1 source=$2 output=$3
shift 3
includes=()
for include in "$@"; do
    includes+=(--include="$include")
done
page=$(help2man --no-info --section=1 --source="$source" "${includes[@]}" "$program")
page=$(sed 's/^\.SS "Exit status:"$/.SH "EXIT STATUS"/' <<<"$page")
grep -q '^\.SH "EXIT STATUS"$' <<<"$page" || {
    echo "manpage.sh: $program --help has no \"Exit status:\" block" >&2
    exit 1
}
gzip -9n <<<"$page" >"$output.new"
mv "$output.new" "$output"
