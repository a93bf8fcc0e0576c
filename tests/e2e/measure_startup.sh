#!/usr/bin/env bash
# Start-up time of the monitor: from process start to its main window being visible, over N runs
# (default 10) on a display of our own (Xvfb + openbox); prints each run and the median in ms.
#
# usage: measure_startup.sh <servermonitor> [runs]
set -uo pipefail
program=$(realpath "$1")
runs=${2:-10}
work=$(mktemp -d)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xwininfo -root -tree 2>/dev/null | grep -q '"Openbox"' && break; sleep 0.1; done

times=()
for i in $(seq "$runs"); do
    start=$(date +%s%N)
    (cd "$work" && QT_QPA_PLATFORM=xcb exec "$program" >/dev/null 2>&1) &
    app=$!
    until xdotool search --onlyvisible --name 'Vormix' >/dev/null 2>&1; do
        kill -0 "$app" 2>/dev/null || { echo "run $i: the program ended" >&2; exit 1; }
    done
    ms=$((($(date +%s%N) - start) / 1000000))
    times+=("$ms")
    echo "run $i: $ms ms"
    kill "$app"
    wait "$app" 2>/dev/null
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END{m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; print "median: " m " ms"}'
