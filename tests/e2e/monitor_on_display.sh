#!/usr/bin/env bash
# The monitor on a display of its own, driven like an operator would, for the end-to-end test
# programs of this folder. The program runs in the current folder with the caller's environment;
# its standard output is this script's, everything else goes to standard error or <logs>. Its
# session bus is the one SM_SESSION_BUS names, or none.
#
# usage: monitor_on_display.sh <servermonitor> <logs folder>
# SM_MONITOR_CLOSED=1 or 2 starts the program with that descriptor closed, as some launchers do.
# Once the main window is up, commands are read from standard input, one a line:
#   interval <seconds>   types the value into the interval field and leaves the field
#   refresh              clicks "立即刷新", which runs a cycle now unless one is running
#   close                sends SIGTERM, waits for the program to end and writes
#                        "monitor_on_display: exit <code>" on standard error
#   hide                 clicks "缩成图标", waits until the window is gone from the screen and
#                        writes "monitor_on_display: hidden" to standard output
#   await_shown          waits until the main window is on the screen again and writes
#                        "monitor_on_display: shown" to standard output
# At the end of input everything started here is ended. Exit code 77: no display tools.
set -uo pipefail

program=$(realpath "$1")
logs=$(realpath "$2")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
export LC_ALL=C.UTF-8

for tool in Xvfb openbox xdotool xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "monitor_on_display: $tool missing" >&2
        exit 77
    fi
done

source "$here/lib.sh"
e2e_init monitor_on_display
trap 'exit 143' TERM
mkdir -p "$logs"
display_start "$logs"

mkdir -p "$logs/xdg"
chmod 700 "$logs/xdg"
# No session bus but the caller's own: nothing outside the test is talked to.
export DBUS_SESSION_BUS_ADDRESS="${SM_SESSION_BUS:-unix:path=$logs/no-bus}" XDG_RUNTIME_DIR="$logs/xdg" \
    QT_QPA_PLATFORM=xcb
case ${SM_MONITOR_CLOSED:-} in
1) "$program" </dev/null >&- & ;;
2) "$program" </dev/null 2>&- & ;;
*) "$program" </dev/null & ;;
esac
app_pid=$!
e2e_pids+=("$app_pid")

# Sets window to the program's 219 x 431 main window once it is showing.
find_main_window() {
    main_window_of "$app_pid" || return
    window=$main_window
}
wait_for 60 "the main window" find_main_window

# The window manager places and activates the window after it is mapped; a click before that
# can land beside the field. So the window must be active and keep its place for a moment.
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }
position() { xwininfo -id "$window" 2>/dev/null | grep -E 'Absolute upper-left'; }
settled() {
    active || return 1
    local before
    before=$(position)
    sleep 0.3
    [ -n "$before" ] && [ "$before" = "$(position)" ] && active
}
xdotool windowactivate --sync "$window" >/dev/null 2>&1
wait_for 20 "the main window to settle" settled

# SpinEdit1 is 49 x 21 at 88,274 of the client area, its arrows in the right 15 pixels;
# Button1 is 61 x 25 at 78,304.
set_interval() {
    xdotool mousemove --window "$window" 100 284 click 1 &&
        xdotool key --clearmodifiers ctrl+a &&
        xdotool type --delay 30 "$1" &&
        xdotool key Tab
}
refresh() { xdotool mousemove --window "$window" 108 316 click 1; }
close_program() {
    local status end=$((SECONDS + 30))
    kill "$app_pid" 2>/dev/null
    while alive "$app_pid" && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
    alive "$app_pid" && fail "the program did not end within 30 s of SIGTERM"
    wait "$app_pid"
    status=$?
    app_pid=
    echo "monitor_on_display: exit $status" >&2
}
viewable() {
    alive "$app_pid" || return 2
    grep -q 'IsViewable' <<<"$(xwininfo -id "$window" 2>/dev/null)"
}
unviewable() {
    viewable
    case $? in 0) return 1 ;; 2) return 2 ;; *) return 0 ;; esac
}
# Button3 is 65 x 25 at 144,304.
hide() {
    xdotool mousemove --window "$window" 176 316 click 1 >&2 || fail "clicking 缩成图标 failed"
    wait_for 20 "the main window to be hidden" unviewable
    echo "monitor_on_display: hidden"
}
await_shown() {
    wait_for 30 "the main window to be shown" viewable
    echo "monitor_on_display: shown"
}

while read -r command argument; do
    case $command in
    interval) set_interval "$argument" >&2 || fail "typing the interval $argument failed" ;;
    refresh) refresh >&2 || fail "clicking 立即刷新 failed" ;;
    close) close_program ;;
    hide) hide ;;
    await_shown) await_shown ;;
    *) fail "unknown command: $command" ;;
    esac
    echo "monitor_on_display: done $command $argument" >&2
done
