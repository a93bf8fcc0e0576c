#!/usr/bin/env bash
# The history viewer on the real programs, on a display of our own (Xvfb, openbox): the monitor
# probes a loopback listener and a closed port and writes history.db; the viewer, started as the
# menu starts it (--window, no --file, from the home folder), finds that file, opens its window
# while the monitor goes on writing, says nothing on standard error, and ends with status 0 when
# the user closes its window. Then Ctrl+H on the monitor's window opens the viewer on the
# monitor's own file.
#
# usage: viewer_e2e.sh <servermonitor> <servermonitor-history>
set -uo pipefail

monitor=$(realpath "$1")
viewer=$(realpath "$2")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
export LC_ALL=C.UTF-8
source "$here/lib.sh"
e2e_init viewer
work=$e2e_work
mkdir -p "$work/xdg" "$work/folder" "$work/home"
chmod 700 "$work/xdg"
export XDG_RUNTIME_DIR="$work/xdg"
# The configuration folder the viewer falls back to is the test's own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"

python3 "$here/probe_listener.py" "$work/port" "$work/record" >"$work/listener.log" 2>&1 &
e2e_pids+=("$!")
e2e_logs+=("$work/listener.log")
wait_for 20 "the listener" test -s "$work/port"
open_port=$(cat "$work/port")
closed_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[Open]\r\nIP=127.0.0.1\r\nPort=%s\r\n[Closed]\r\nIP=127.0.0.1\r\nPort=%s\r\n' \
    "$open_port" "$closed_port" >"$work/folder/servers.ini"

# The menu entry's monitor runs in the configuration folder; so does this one.
mkdir -p "$XDG_CONFIG_HOME"
mv "$work/folder" "$XDG_CONFIG_HOME/servermonitor"
folder=$XDG_CONFIG_HOME/servermonitor
display_start "$work"
# The build folder has the viewer apart from the monitor: the monitor finds it on the PATH.
(cd "$folder" && PATH="$(dirname "$viewer"):$PATH" DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
    exec "$monitor" >"$work/monitor.stdout" 2>"$work/monitor.stderr") &
monitor_pid=$!
e2e_pids+=("$monitor_pid")
e2e_logs+=("$work/monitor.stdout" "$work/monitor.stderr")

# Both servers are in the history once a probe of each has been committed.
both_recorded() {
    alive "$monitor_pid" || return 2
    [ -f "$folder/history.db" ] || return 1
    local lines
    lines=$("$viewer" --file "$folder/history.db" --uptime --csv 2>/dev/null | grep -c ',127\.0\.0\.1,')
    [ "$lines" -ge 2 ]
}
wait_for 90 "both servers in the history" both_recorded

# Started from the home folder, as the desktop starts a menu entry.
(cd "$HOME" && exec "$viewer" --window >"$work/viewer.stdout" 2>"$work/viewer.stderr") &
viewer_pid=$!
e2e_pids+=("$viewer_pid")
e2e_logs+=("$work/viewer.stdout" "$work/viewer.stderr")

window=
viewer_window() {
    window=$(xdotool search --onlyvisible --name '^服务器历史记录$' 2>/dev/null | head -n1)
    [ -n "$window" ]
}
window_shown() {
    alive "$viewer_pid" || return 2
    viewer_window
}
wait_for 60 "the viewer's window" window_shown
alive "$monitor_pid" || fail "the monitor ended while the viewer read its history"

# press <window> <keys>: the keys typed into that window, as a user types them (XTEST, to the
# window that has the focus).
press() {
    xdotool windowactivate --sync "$1" >/dev/null 2>&1
    xdotool key --clearmodifiers "$2"
}

# Closed as a user closes it: the window manager's close key.
viewer_gone() { ! alive "$viewer_pid"; }
press "$window" alt+F4
wait_for 30 "the viewer to end after its window was closed" viewer_gone
wait "$viewer_pid"
status=$?
[ "$status" = 0 ] || fail "the viewer ended with status $status"
[ ! -s "$work/viewer.stderr" ] || fail "the viewer wrote to standard error: $(cat "$work/viewer.stderr")"
alive "$monitor_pid" || fail "the monitor ended"

# Ctrl+H on the monitor's window.
wait_for 30 "the monitor's window" main_window_of "$monitor_pid"
press "$main_window" ctrl+h
wait_for 60 "the viewer's window after Ctrl+H" viewer_window
shortcut_pid=$(xdotool getwindowpid "$window")
e2e_pids+=("$shortcut_pid")
tr '\0' ' ' <"/proc/$shortcut_pid/cmdline" | grep -qF -- "--window --file $folder/history.db" ||
    fail "the viewer did not get the monitor's file: $(tr '\0' ' ' <"/proc/$shortcut_pid/cmdline")"
press "$window" alt+F4
shortcut_gone() { ! kill -0 "$shortcut_pid" 2>/dev/null; }
wait_for 30 "the viewer started by Ctrl+H to end" shortcut_gone
grep -q 'cannot start' "$work/monitor.stderr" && fail "the monitor could not start the viewer"
alive "$monitor_pid" || fail "the monitor ended"
echo "PASS: the viewer opened the monitor's history.db from the menu and by Ctrl+H, and closed"
