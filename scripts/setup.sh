#!/usr/bin/env bash
# Installs what building, running and testing the tool need, where missing.
set -euo pipefail

packages=(
    build-essential cmake
    qtbase5-dev libqt5serialport5-dev
    qt6-base-dev qt6-serialport-dev
    xvfb xauth imagemagick fonts-wqy-microhei
    python3 python3-xmodem lrzsz time
    ser2net
    clang libclang-rt-14-dev
    dpkg-dev file desktop-file-utils lintian appstream
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
