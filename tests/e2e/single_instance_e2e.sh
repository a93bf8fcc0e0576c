#!/usr/bin/env bash
# One monitor per working folder, and a start that says nothing when nothing is wrong, on the real
# program: headless (QT_QPA_PLATFORM=offscreen) and on a display of our own (Xvfb, openbox, the
# trayer panel as XEmbed tray host, xdotool). Every probed server is a loopback listener that
# records which process connects to it.
#
# usage: single_instance_e2e.sh <program> <case>
# SM_E2E_TIMES=<file>: the x11 case appends its measured times there.
set -uo pipefail

program=$(realpath "$1")
case_name=$2
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
export LC_ALL=C.UTF-8
source "$here/lib.sh"
e2e_init "$case_name"
work=$e2e_work
mkdir -p "$work/xdg"
chmod 700 "$work/xdg"
# The session's runtime folder, private to the test: the lock and socket go there.
export XDG_RUNTIME_DIR="$work/xdg"

start_listener() {
    python3 "$here/probe_listener.py" "$work/port" "$work/record" >"$work/listener.log" 2>&1 &
    e2e_pids+=("$!")
    e2e_logs+=("$work/listener.log" "$work/record")
    wait_for 20 "the listener" test -s "$work/port"
    port=$(cat "$work/port")
}

# make_folder <dir>: a folder whose servers.ini names the listener.
make_folder() {
    mkdir -p "$1"
    printf '[Probed]\r\nIP=127.0.0.1\r\nPort=%s\r\n' "$port" >"$1/servers.ini"
}

# start_headless <dir> <var>: starts a headless monitor in <dir>; its pid goes into <var>.
start_headless() {
    local dir=$1
    (cd "$dir" && QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" \
        exec "$program" >"$dir/stdout" 2>"$dir/stderr") &
    printf -v "$2" %s "$!"
    e2e_pids+=("$!")
    e2e_logs+=("$dir/stdout" "$dir/stderr")
}

# probed_by <pid>: the listener has a connection from that process.
probed_by() {
    alive "$1" || return 2
    # Not yet a record at all is not yet a probe (grep would say 2: give up).
    grep -qs " $1\$" "$work/record" || return 1
}

# second_start <dir> [environment...]: runs a start to its end; sets status and elapsed_ms.
second_start() {
    local dir=$1 begin
    shift
    begin=$(date +%s%N)
    (cd "$dir" && exec env "$@" "$program" >"$dir/second.stdout" 2>"$dir/second.stderr")
    status=$?
    elapsed_ms=$((($(date +%s%N) - begin) / 1000000))
    e2e_logs+=("$dir/second.stdout" "$dir/second.stderr")
}

expect_refusal_line() {
    local dir=$1 pid=$2 expected
    expected="servermonitor: a monitor already runs in $(realpath "$dir") (pid $pid)"
    [ "$status" -eq 3 ] || fail "a second start exited with $status, expected 3"
    [ "$(cat "$dir/second.stderr")" = "$expected" ] ||
        fail "standard error of the second start: [$(cat "$dir/second.stderr")], expected [$expected]"
    [ ! -s "$dir/second.stdout" ] || fail "the second start logged: $(cat "$dir/second.stdout")"
}

case_headless_second_start_refuses() {
    start_listener
    make_folder "$work/a"
    start_headless "$work/a" first
    wait_for 60 "the first monitor's probe" probed_by "$first"
    second_start "$work/a" QT_QPA_PLATFORM=offscreen
    expect_refusal_line "$work/a" "$first"
    # The same folder through another name is the same folder.
    ln -s "$work/a" "$work/link"
    second_start "$work/link" QT_QPA_PLATFORM=offscreen
    expect_refusal_line "$work/a" "$first"
    alive "$first" || fail "the first monitor ended"
    [ ! -s "$work/a/stderr" ] || fail "the first monitor wrote on standard error"
}

case_two_folders_two_monitors() {
    start_listener
    make_folder "$work/a"
    make_folder "$work/b"
    start_headless "$work/a" first
    start_headless "$work/b" other
    wait_for 60 "the probe of the monitor in a" probed_by "$first"
    wait_for 60 "the probe of the monitor in b" probed_by "$other"
}

case_start_after_sigkill() {
    start_listener
    make_folder "$work/a"
    start_headless "$work/a" first
    wait_for 60 "the first monitor's probe" probed_by "$first"
    kill -KILL "$first"
    wait "$first" 2>/dev/null
    # Its lock and socket stay behind, naming a process that is gone.
    ls "$XDG_RUNTIME_DIR"/servermonitor-*.lock >/dev/null 2>&1 || fail "no lock file was left"
    start_headless "$work/a" next
    wait_for 60 "the new monitor's probe" probed_by "$next"
    second_start "$work/a" QT_QPA_PLATFORM=offscreen
    expect_refusal_line "$work/a" "$next"
}

# The program with a good servers.ini and nothing wrong: standard error stays empty through the
# start, a cycle and the close.
case_quiet_headless() {
    start_listener
    make_folder "$work/a"
    (cd "$work/a" && exec env -u XDG_RUNTIME_DIR -u DBUS_SESSION_BUS_ADDRESS \
        QT_QPA_PLATFORM=offscreen "$program" >"$work/a/stdout" 2>"$work/a/stderr") &
    first=$!
    e2e_pids+=("$first")
    e2e_logs+=("$work/a/stdout")
    wait_for 60 "the monitor's probe" probed_by "$first"
    expect_quiet_close "$work/a"
}

expect_quiet_close() {
    sleep 3 # past the hold, to the end of the cycle
    kill "$first"
    wait_for 30 "the monitor to end" eval '! alive "$first"'
    [ ! -s "$1/stderr" ] || fail "standard error was not empty: $(cat "$1/stderr")"
}

case_quiet_x11() {
    display_start "$work"
    start_listener
    make_folder "$work/a"
    # A session bus of its own, as a desktop session has.
    dbus-daemon --session --nofork --address="unix:path=$work/bus" >"$work/bus.log" 2>&1 &
    e2e_pids+=("$!")
    wait_for 20 "the session bus" test -S "$work/bus"
    (cd "$work/a" && DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" QT_QPA_PLATFORM=xcb \
        exec "$program" >"$work/a/stdout" 2>"$work/a/stderr") &
    first=$!
    e2e_pids+=("$first")
    e2e_logs+=("$work/a/stdout")
    wait_for 60 "the monitor's probe" probed_by "$first"
    expect_quiet_close "$work/a"
}

# --- on a display, with a tray ------------------------------------------------------------

find_main_window() {
    local w
    alive "$first" || return 2
    for w in $(xdotool search --name 'Vormix' 2>/dev/null); do
        if grep -q 'Width: 219' <<<"$(xwininfo -id "$w" 2>/dev/null)"; then
            window=$w
            return 0
        fi
    done
    return 1
}
viewable() { grep -q 'Map State: IsViewable' <<<"$(xwininfo -id "$window" 2>/dev/null)"; }
unmapped() { grep -q 'Map State: IsUnMapped' <<<"$(xwininfo -id "$window" 2>/dev/null)"; }
tray_icon_docked() { grep -qF "(\"$(basename "$program")\" " <<<"$(xwininfo -root -tree 2>/dev/null)"; }
active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }

# SpinEdit1 is 49 x 21 at 88,274 of the client area; Button3 65 x 25 at 144,304.
set_interval() {
    xdotool mousemove --window "$window" 100 284 click 1 &&
        xdotool key --clearmodifiers ctrl+a && xdotool type --delay 30 "$1" && xdotool key Tab
}

case_x11_second_start_shows() {
    display_start "$work"
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 \
        >"$work/trayer.log" 2>&1 &
    e2e_pids+=("$!")
    start_listener
    make_folder "$work/a"
    # No session bus: Qt docks the icon through XEmbed, which trayer hosts.
    (cd "$work/a" && DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb \
        exec "$program" >"$work/a/stdout" 2>"$work/a/stderr") &
    first=$!
    e2e_pids+=("$first")
    e2e_logs+=("$work/a/stdout" "$work/a/stderr")
    wait_for 60 "the main window" find_main_window
    wait_for 30 "the tray icon" tray_icon_docked
    xdotool windowactivate --sync "$window" >/dev/null 2>&1
    wait_for 20 "the main window to be active" active
    set_interval 3 || fail "typing the interval failed"
    xdotool mousemove --window "$window" 176 316 click 1
    wait_for 20 "the main window to hide" unmapped

    # Polled without a pause from the moment of the start: the time to the window is measured.
    local begin shown_ms second
    begin=$(date +%s%N)
    (cd "$work/a" && DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" QT_QPA_PLATFORM=xcb \
        exec "$program" >"$work/a/second.stdout" 2>"$work/a/second.stderr") &
    second=$!
    e2e_pids+=("$second")
    e2e_logs+=("$work/a/second.stdout" "$work/a/second.stderr")
    local end=$((SECONDS + 30))
    until viewable; do
        [ "$SECONDS" -lt "$end" ] || fail "the hidden window did not come back"
    done
    shown_ms=$((($(date +%s%N) - begin) / 1000000))
    wait_for 30 "the second start to end" eval '! alive "$second"'
    local exit_ms=$((($(date +%s%N) - begin) / 1000000))
    wait "$second"
    status=$?
    [ "$status" -eq 0 ] || fail "the second start exited with $status, expected 0"
    [ ! -s "$work/a/second.stderr" ] || fail "the second start wrote: $(cat "$work/a/second.stderr")"
    [ ! -s "$work/a/second.stdout" ] || fail "the second start logged: $(cat "$work/a/second.stdout")"
    echo "second start to window shown: $shown_ms ms; to its exit: $exit_ms ms"
    [ -n "${SM_E2E_TIMES:-}" ] && echo "$shown_ms $exit_ms" >>"$SM_E2E_TIMES"

    # Three more cycles (3 s apart, each holding 2 s): every connection is the first monitor's.
    local before
    before=$(wc -l <"$work/record")
    wait_for 60 "three more cycles" eval '[ $(($(wc -l <"$work/record") - before)) -ge 3 ]'
    awk -v pid="$first" '$2 != pid { bad = 1 } END { exit bad }' "$work/record" ||
        fail "another process probed: $(cat "$work/record")"
    alive "$first" || fail "the first monitor ended"
}

declare -F "case_$case_name" >/dev/null || fail "no such case"
"case_$case_name"
echo "PASS ($case_name)"
