#!/usr/bin/env bash
# Start-up time of the monitor from process start to the first painted main window, without and
# with the skin: N runs of each (default 10), interleaved; prints every run and the medians in ms.
# Runs on the display in $DISPLAY, or offscreen when there is none.
#
# usage: skin_startup.sh <skin_startup_probe> [runs]
set -euo pipefail
probe=$(realpath "$1")
runs=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen

run_once() {
    local start end
    start=$(date +%s%N)
    (cd "$work" && "$probe" "$1" >/dev/null 2>&1)
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

median() {
    sort -n | awk '{a[NR]=$1} END{print (NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2}'
}

plain=()
skin=()
for i in $(seq "$runs"); do
    plain+=("$(run_once plain)")
    skin+=("$(run_once skin)")
    echo "run $i: plain ${plain[-1]} ms, skin ${skin[-1]} ms"
done
echo "median plain: $(printf '%s\n' "${plain[@]}" | median) ms"
echo "median skin:  $(printf '%s\n' "${skin[@]}" | median) ms"
