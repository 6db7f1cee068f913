#!/usr/bin/env bash
# Builds the Debian package of a build, checks it with lintian, installs it on this machine (as
# root), runs the installed programs from PATH and removes the package again.
# usage: install_package.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
fail() { echo "FAIL: $*"; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
if dpkg-query -W -f='${Status}' klm704 2>/dev/null | grep -q "install ok installed"; then
    fail "a klm704 package is installed already; remove it first"
fi
work=$(mktemp -d)
trap 'apt-get remove -y -qq klm704 >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

# The package is made in the temporary folder, not in the build.
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/klm704_2.02_*.deb)
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"
dpkg-deb -c "$deb" | grep ' ./lib/udev/rules.d/70-klm704.rules$' >/dev/null || fail "no udev rule"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 || fail "apt-get install: $(cat "$work/apt.log")"
cd "$work"
[ "$(command -v klm704)" = /usr/bin/klm704 ] || fail "klm704 is not /usr/bin/klm704"
[ "$(klm704 --version)" = "KLM-704 2.02" ] || fail "klm704 --version"
lines=$(klm704-cli --device sim --samples 3 | wc -l)
[ "$lines" -eq 4 ] || fail "klm704-cli wrote $lines lines, not a header and 3 readings"
apt-get remove -y -qq klm704 >/dev/null 2>&1 || fail "apt-get remove"
[ ! -e /usr/bin/klm704 ] && [ ! -e /lib/udev/rules.d/70-klm704.rules ] || fail "left behind"
echo "PASS: the package passed lintian, installed, ran from PATH and was removed"
