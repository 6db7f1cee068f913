#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing KLM-704 need (as root).
set -euo pipefail
packages=(
    cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev qttools5-dev qttools5-dev-tools
    libhidapi-dev libmosquitto-dev libssl-dev libfontconfig-dev mosquitto mosquitto-clients openssl
    xvfb xauth x11-utils imagemagick fonts-wqy-microhei fonts-dejavu-core
    # installing: the manual pages from --help, the toolkit's Chinese texts, the Debian package
    # and its checkers (the service unit's too)
    help2man qttranslations5-l10n dpkg-dev lintian desktop-file-utils appstream systemd
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi
