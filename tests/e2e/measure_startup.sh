#!/usr/bin/env bash
# Start-up time of the monitor: from process start to its main window being visible, over N runs
# (default 10) on a display of our own (Xvfb + openbox); prints each run and the median in ms.
#
# usage: measure_startup.sh <servermonitor> [runs]
set -uo pipefail
program=$(realpath "$1")
runs=${2:-10}
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/lib.sh"
e2e_init measure_startup
display_start "$e2e_work"

window_visible() {
    alive "$app" || return 2
    xdotool search --onlyvisible --name 'Vormix' >/dev/null 2>&1
}

times=()
for i in $(seq "$runs"); do
    start=$(date +%s%N)
    (cd "$e2e_work" && QT_QPA_PLATFORM=xcb exec "$program" >/dev/null 2>&1) &
    app=$!
    # Polled without a pause: the time to the window is what is measured.
    until window_visible; do
        [ $? -eq 2 ] && fail "run $i: the program ended"
    done
    ms=$((($(date +%s%N) - start) / 1000000))
    times+=("$ms")
    echo "run $i: $ms ms"
    kill "$app"
    wait "$app" 2>/dev/null
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END{m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; print "median: " m " ms"}'
