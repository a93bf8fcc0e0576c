#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the program and its tests need and the
# machine lacks. Runs as root, or through sudo.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
    libasound2-dev alsa-utils
    fonts-wqy-zenhei
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool openbox trayer x11-utils
    clang libclang-rt-14-dev clang-format python3
    libinih-dev libsimpleini-dev
    iproute2 util-linux dbus
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
