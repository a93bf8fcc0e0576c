#!/usr/bin/env bash
# Installs what is missing, builds the monitor and starts it in a working directory that holds
# servers.ini (a sample one the first time). Without a display it runs headless and the log goes
# to the terminal.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" run

build="$top/build-release"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

workdir="${SM_WORKDIR:-$top/run}"
mkdir -p "$workdir"
[ -f "$workdir/servers.ini" ] || cp "$top/assets/servers.ini" "$workdir/servers.ini"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running headless; the log follows."
    export QT_QPA_PLATFORM=offscreen
fi
cd "$workdir"
exec "$build/app/servermonitor"
