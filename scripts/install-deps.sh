#!/usr/bin/env bash
# Installs, from Debian's packages, what the machine lacks for one purpose:
#   install-deps.sh run      building and running the program
#   install-deps.sh package  that, and building its Debian package
#   install-deps.sh test     that, and every test (the default)
# Runs as root, or through sudo.
set -euo pipefail

run_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-wayland
    libasound2-dev libsystemd-dev libsqlite3-dev libcurl4-openssl-dev
    fonts-wqy-zenhei
)
package_packages=(
    dpkg-dev file
)
test_packages=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool openbox trayer x11-utils
    clang libclang-rt-14-dev clang-format python3 git
    libinih-dev libsimpleini-dev
    iproute2 util-linux dbus python3-dbus python3-gi python3-dbusmock alsa-utils
    lintian desktop-file-utils appstream man-db
    prometheus
    sway wtype grim python3-aiosmtpd openssl
)

case "${1:-test}" in
run) packages=("${run_packages[@]}") ;;
package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
test) packages=("${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "usage: $0 [run|package|test]" >&2
    exit 2
    ;;
esac

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
