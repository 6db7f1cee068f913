#!/usr/bin/env bash
# Configures a build folder as every script of tools/ does, so that starting the program after
# the tests, or the tests after the program, rebuilds nothing.
# usage: configure.sh DIR [more cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
exec cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLM704_WERROR=ON "$@"
