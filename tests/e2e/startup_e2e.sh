#!/usr/bin/env bash
# The real program started and ended as an operator would: a display of our own (Xvfb on a free
# number) with openbox, the modem library replaced through LD_LIBRARY_PATH by a recording build.
#
# usage: startup_e2e.sh <servermonitor> <folder holding the recording libmondem.so>
# Every wait has a time-out, so a broken program fails instead of hanging.
set -uo pipefail

program=$(realpath "$1")
recording_lib=$(realpath "$2")
export LC_ALL=C.UTF-8
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/lib.sh"
e2e_init startup
work=$e2e_work
display_start "$work"

# start <run folder>: starts the monitor there; sets app_pid and window.
start() {
    local dir=$1
    mkdir -p "$dir"
    (cd "$dir" && MONDEM_RECORD="$dir/modem.txt" LD_LIBRARY_PATH="$recording_lib" \
        QT_QPA_PLATFORM=xcb exec "$program" >"$dir/stdout" 2>"$dir/stderr") &
    app_pid=$!
    e2e_pids+=("$app_pid")
    e2e_logs+=("$dir/stdout" "$dir/stderr")
    wait_for 60 "the main window" main_window_shown
}

# Sets window once the program's main window is showing.
main_window_shown() {
    alive "$app_pid" || return 2
    window=$(xdotool search --onlyvisible --name 'Vormix' 2>/dev/null | head -n1)
    [ -n "$window" ]
}

window_hidden() { ! xdotool search --onlyvisible --name 'Vormix' >/dev/null 2>&1; }
process_ended() { ! alive "$app_pid"; }
expect_file() {
    local file=$1 expected=$2 what=$3
    [ "$(cat "$file" 2>/dev/null)" = "$expected" ] ||
        fail "$what: expected [$expected], got [$(cat "$file" 2>/dev/null)]"
}

# Run 1: no servers.ini. The window is 219 x 431, centred, the log holds the modem line only;
# "缩成图标" hides it and the program goes on.
start "$work/run1"
read -r width height < <(xwininfo -id "$window" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w, h}')
[ "$width" = 219 ] && [ "$height" = 431 ] || fail "client area ${width}x${height}, expected 219x431"
read -r x y < <(xwininfo -id "$window" | awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}')
centre_x=$((x + width / 2)) centre_y=$((y + height / 2))
[ $((centre_x - 512)) -le 20 ] && [ $((512 - centre_x)) -le 20 ] &&
    [ $((centre_y - 384)) -le 40 ] && [ $((384 - centre_y)) -le 40 ] ||
    fail "window centre at ${centre_x},${centre_y}, expected near 512,384"
wait_for 10 "the modem line on standard output" grep -q . "$work/run1/stdout"
expect_file "$work/run1/stdout" "初始化短信设备完成！" "log of a start without servers.ini"
expect_file "$work/run1/modem.txt" "$(printf 'fnSetModemType(0,0)\nfnInitModem(-1)')" "modem calls at start-up"
# Button3 sits at 144,304 (65 x 25) in the client area.
# Under load the first click can land before the window manager has finished placing the
# window, so the click is repeated a few times before giving up.
xdotool windowactivate --sync "$window" >/dev/null 2>&1
for attempt in 1 2 3 4 5; do
    xdotool mousemove --window "$window" 176 316 click 1
    end=$((SECONDS + 3))
    until window_hidden || [ "$SECONDS" -ge "$end" ]; do sleep 0.1; done
    window_hidden && break
done
window_hidden || fail "the window did not hide after clicking 缩成图标"
sleep 0.5
alive "$app_pid" || fail "hiding the window ended the program"
kill "$app_pid"

# Run 2: a modem that does not answer; Alt+F4 ends the program through its close path with exit
# code 0, the modem closed once, nothing logged after.
export MONDEM_SET_MODEM_TYPE_RESULT=1
start "$work/run2"
xdotool windowactivate --sync "$window" >/dev/null 2>&1
for attempt in 1 2 3 4 5; do
    xdotool key --clearmodifiers alt+F4
    end=$((SECONDS + 4))
    until process_ended || [ "$SECONDS" -ge "$end" ]; do sleep 0.1; done
    process_ended && break
done
process_ended || fail "the program did not end after Alt+F4"
wait "$app_pid"
status=$?
[ "$status" = 0 ] || fail "exit code $status after Alt+F4"
expect_file "$work/run2/modem.txt" "$(printf 'fnSetModemType(0,0)\nfnCloseModem(-1)')" "modem calls of a run closed by Alt+F4"
expect_file "$work/run2/stdout" "初始化短信设备失败！" "log of a run closed by Alt+F4"
echo "e2e_startup: passed"
