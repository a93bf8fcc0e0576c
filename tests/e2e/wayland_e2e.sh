#!/usr/bin/env bash
# The monitor on Wayland: a headless sway of the test's own, run as an unprivileged user (sway
# refuses root; a root test runs everything as nobody), the program natively through Qt's
# Wayland plugin, a private session bus with a StatusNotifierItem watcher the test provides
# (tests/e2e/sni_watcher.py), the keyboard through wtype, screenshots through grim. Checked: the
# window in sway's tree, a probe of a loopback server, the tray item registered with the watcher,
# the settings dialog driven by the keyboard writing servers.ini, 缩成图标 hiding the window and
# a double activation of the item showing it again, Ctrl+H opening the history viewer (found on
# the PATH) as a Wayland window of its own, closed by the compositor, and an empty standard error
# (the viewer's included: it inherits the monitor's).
#
# usage: wayland_e2e.sh <program> <servermonitor-history>
# SM_SCREENSHOT_DIR=<folder>: also keeps wayland-main-window.png, wayland-settings-dialog.png and
# wayland-history-viewer.png.
# Exit code 77 (skipped): sway, wtype, grim or Qt's Wayland plugin is missing.
set -uo pipefail

program=$(realpath "$1")
viewer=$(realpath "$2")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
export LC_ALL=C.UTF-8
source "$here/lib.sh"

for tool in sway swaymsg wtype grim dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool missing" >&2; exit 77; }
done
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    { echo "skipped: qt6-wayland missing" >&2; exit 77; }

e2e_init wayland
work=$e2e_work
chmod 755 "$work"
mkdir -p "$work/xdg" "$work/run" "$work/home"
chmod 700 "$work/xdg"

# as_user <command...>: runs it as the test's unprivileged user (nobody when we are root).
user_prefix=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$work/xdg" "$work/run" "$work/home"
    user_prefix=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env --)
fi
as_user() { "${user_prefix[@]}" "$@"; }
session_env=(env HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg" LC_ALL=C.UTF-8
    DBUS_SESSION_BUS_ADDRESS="unix:path=$work/xdg/bus" PATH=/usr/bin:/bin
    LSAN_OPTIONS="${LSAN_OPTIONS:-}" ASAN_OPTIONS="${ASAN_OPTIONS:-}")

# The compositor: headless, no input devices, pixman. The processes that last the whole test are
# started without as_user: through a function, $! would be a subshell, and killing it at the end
# would leave the process itself running.
printf 'output HEADLESS-1 resolution 1024x768\n' >"$work/sway.conf"
chmod 644 "$work/sway.conf"
"${user_prefix[@]}" "${session_env[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
e2e_pids+=("$!")
e2e_logs+=("$work/sway.log")
wayland_up() { ls "$work/xdg"/wayland-* 2>/dev/null | grep -qv lock; }
wait_for 30 "sway" wayland_up
wayland_display=$(basename "$(ls "$work/xdg"/wayland-* | grep -v lock | head -n1)")
session_env+=(WAYLAND_DISPLAY="$wayland_display")
swaysock_found() { ls "$work/xdg"/sway-ipc.* >/dev/null 2>&1; }
wait_for 30 "sway's IPC socket" swaysock_found
session_env+=(SWAYSOCK="$(ls "$work/xdg"/sway-ipc.* | head -n1)")

# A keyboard on the seat for the whole test (sway has no input devices here): a wtype that
# presses Shift and then waits. Each short wtype call after types through the same seat; alone,
# each would bring the seat's keyboard with it and take it away again, and the keys would be
# gone before the program had taken the keyboard in.
"${user_prefix[@]}" "${session_env[@]}" wtype -k Shift_L -s 900000 -k Shift_L >"$work/wtype.log" 2>&1 &
e2e_pids+=("$!")
e2e_logs+=("$work/wtype.log")

# The session bus, and on it the watcher of the panel.
"${user_prefix[@]}" "${session_env[@]}" dbus-daemon --session --nofork --address="unix:path=$work/xdg/bus" \
    >"$work/bus.log" 2>&1 &
e2e_pids+=("$!")
wait_for 20 "the session bus" test -S "$work/xdg/bus"
touch "$work/items"
chmod 666 "$work/items"
"${user_prefix[@]}" "${session_env[@]}" /usr/bin/python3 "$here/sni_watcher.py" "$work/items" \
    >"$work/watcher.log" 2>&1 &
e2e_pids+=("$!")
e2e_logs+=("$work/watcher.log")
watcher_up() {
    as_user "${session_env[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
        /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.kde.StatusNotifierWatcher 2>/dev/null | grep -q 'boolean true'
}
wait_for 20 "the watcher" watcher_up

# A probed loopback server (this side, as the test's own user).
/usr/bin/python3 "$here/probe_listener.py" "$work/port" "$work/record" >"$work/listener.log" 2>&1 &
e2e_pids+=("$!")
wait_for 20 "the listener" test -s "$work/port"
printf '[Probed]\r\nIP=127.0.0.1\r\nPort=%s\r\n' "$(cat "$work/port")" >"$work/run/servers.ini"
[ "$(id -u)" -eq 0 ] && chown nobody:nogroup "$work/run/servers.ini"

# Not through a function: $! must be the program itself.
"${user_prefix[@]}" env --chdir="$work/run" "${session_env[@]:1}" QT_QPA_PLATFORM=wayland \
    PATH="$(dirname "$viewer"):/usr/bin:/bin" "$program" >"$work/stdout" 2>"$work/stderr" &
app_pid=$!
e2e_pids+=("$app_pid")
e2e_logs+=("$work/stdout" "$work/stderr")

tree() { as_user "${session_env[@]}" swaymsg -t get_tree 2>/dev/null; }
# Prints "x,y wxh" of the first window whose name or app_id is $1, or fails.
window_rect() {
    tree | /usr/bin/python3 -c '
import json, sys
want = sys.argv[1]
def walk(n):
    if n.get("pid") and (n.get("name") == want or n.get("app_id") == want):
        r = n["rect"]
        print("%d,%d %dx%d" % (r["x"], r["y"], r["width"], r["height"]))
        sys.exit(0)
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        walk(c)
walk(json.load(sys.stdin))
sys.exit(1)' "$1"
}
dialog_up() { window_rect 添加服务器 >/dev/null; }
dialog_gone() { ! dialog_up; }
keys() { as_user "${session_env[@]}" wtype -d 100 "$@"; }
main_window_up() {
    alive "$app_pid" || return 2
    window_rect Vormix服务器监控 >/dev/null || window_rect com.vormix.ServerMonitor >/dev/null
}
main_window_gone() { ! main_window_up; }
probed() { alive "$app_pid" || return 2; grep -qs " $app_pid\$" "$work/record" || return 1; }
item_registered() { [ -s "$work/items" ]; }
shoot() {
    [ -n "${SM_SCREENSHOT_DIR:-}" ] || return 0
    as_user "${session_env[@]}" grim -g "$(window_rect "$1")" "$work/xdg/shot.png" &&
        cp "$work/xdg/shot.png" "$SM_SCREENSHOT_DIR/$2"
}

wait_for 60 "the main window in sway's tree" main_window_up
wait_for 60 "a probe of the loopback server" probed
wait_for 30 "the tray item to register with the watcher" item_registered
# The buttons are off while a cycle runs; the first one ends with the hold.
cycle_ended() { grep -q '断开连接' "$work/stdout"; }
wait_for 30 "the end of the first cycle" cycle_ended
sleep 1 # the frame with the buttons on
main_title=$(tree | grep -o '"app_id": "com.vormix.ServerMonitor"' | head -n1)
[ -n "$main_title" ] || fail "no window with app_id com.vormix.ServerMonitor"
shoot com.vormix.ServerMonitor wayland-main-window.png

# The item answers on the bus as the watcher's host would call it.
read -r item_name item_path <"$work/items"
as_user "${session_env[@]}" dbus-send --session --print-reply --dest="$item_name" "$item_path" \
    org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierItem string:Status \
    >"$work/status" 2>&1 || fail "the item does not answer: $(cat "$work/status")"
grep -q '"Active"' "$work/status" || fail "the item's status: $(cat "$work/status")"

# The focus starts in the log pane; Tab goes list, 立即刷新, 设置.
keys -k Tab -k Tab -k Tab -k space
wait_for 30 "the settings dialog" dialog_up
sleep 1
# From the server list: Tab goes 删除 (BitBtn1), Edit1, Edit2, Edit3, CheckBox1, 添加/修改.
keys -k Tab -k Tab E2E -k Tab 127.0.0.1 -k Tab 7999 -k Tab -k Tab -k space
has_new_server() {
    grep -q $'^\\[E2E\\]\r$' "$work/run/servers.ini" && grep -q $'^Port=7999\r$' "$work/run/servers.ini"
}
wait_for 20 "servers.ini to hold the new server" has_new_server
sleep 0.5
shoot 添加服务器 wayland-settings-dialog.png
# Adding puts the focus back in Edit1; from there 关闭 (BitBtn2) is seven Tabs on.
keys -k Tab -k Tab -k Tab -k Tab -k Tab -k Tab -k Tab -k space
wait_for 20 "the dialog to close" dialog_gone

# 缩成图标 (the focus is back on 设置): with the watcher's host on the bus the window hides.
keys -k Tab -k space
wait_for 20 "the main window to hide" main_window_gone
# A double-click on the item, as a StatusNotifierItem host reports it: two activations.
for i in 1 2; do
    as_user "${session_env[@]}" dbus-send --session --type=method_call --dest="$item_name" \
        "$item_path" org.kde.StatusNotifierItem.Activate int32:0 int32:0
done
wait_for 20 "the main window to come back" main_window_up

# Ctrl+H: the history viewer on the monitor's file, a Wayland window of its own.
viewer_up() { window_rect com.vormix.ServerMonitor.History >/dev/null; }
viewer_gone() { ! viewer_up; }
sleep 1 # the window has the focus once it is shown again
keys -M ctrl -k h -m ctrl
wait_for 60 "the history viewer" viewer_up
sleep 1
shoot com.vormix.ServerMonitor.History wayland-history-viewer.png
as_user "${session_env[@]}" swaymsg '[app_id="com.vormix.ServerMonitor.History"] kill' >/dev/null
wait_for 20 "the history viewer to close" viewer_gone

# Nothing was wrong, so nothing was said on standard error.
[ ! -s "$work/stderr" ] || fail "standard error was not empty: $(cat "$work/stderr")"
echo "PASS (wayland)"
