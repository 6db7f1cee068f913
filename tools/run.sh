#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the built-in virtual meter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/configure.sh build
cmake --build build
cd build
exec ./klm704 --device sim --connect "$@"
