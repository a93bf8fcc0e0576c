#!/usr/bin/env bash
# The menu entry's launcher from the build tree, beside the built program, in temporary home
# folders: where it puts and finds the operator's files, when it runs the monitor headless, its
# errors, and the autostart switch.
#
# usage: launcher_test.sh <servermonitor-launch> <menu entry> <case>
# Every wait has a time-out, so a broken launcher fails instead of hanging.
set -uo pipefail

launcher=$(realpath "$1")
entry=$(realpath "$2")
case_name=$3
export LC_ALL=C.UTF-8
ulimit -c 0
source "$(dirname "$(realpath "${BASH_SOURCE[0]}")")/support.sh"
e2e_init "launcher $case_name"
work=$e2e_work
# Relative paths the launcher must not use would land here.
cd "$work" || exit 1

# launch <name> <environment...>: the launcher with only the given display and configuration
# variables (the sanitizers' settings and PATH pass through).
launch() {
    local name=$1
    shift
    monitor_start "$name" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME \
        -u XDG_DATA_DIRS -u HOME "$@" "$launcher"
}

# run_launcher <name> <environment...> -- <arguments...>: runs it to its end; sets status.
run_launcher() {
    local name=$1
    shift
    local vars=()
    while [ "$1" != -- ]; do
        vars+=("$1")
        shift
    done
    shift
    e2e_logs+=("$work/$name.stdout" "$work/$name.stderr")
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_CONFIG_HOME -u XDG_DATA_DIRS \
        -u HOME "${vars[@]}" timeout 30 "$launcher" "$@" >"$work/$name.stdout" 2>"$work/$name.stderr"
    status=$?
}

mode_of() { stat -c %a "$1"; }
environment_of() { tr '\0' '\n' <"/proc/$1/environ"; }

case $case_name in
fresh_home)
    # No configuration yet, no display: the folders appear with mode 0700, the monitor runs
    # headless in its folder, and nothing is put there for the operator.
    home=$work/home
    mkdir "$home"
    launch fresh HOME="$home"
    wait_for 60 "the modem line" modem_line_logged fresh
    folder=$home/.config/servermonitor
    [ -d "$folder" ] || fail "$folder was not created"
    [ "$(mode_of "$folder")" = 700 ] || fail "$folder has mode $(mode_of "$folder"), expected 700"
    [ "$(mode_of "$home/.config")" = 700 ] || fail "$home/.config has mode $(mode_of "$home/.config")"
    [ "$(readlink "/proc/$monitor_pid/cwd")" = "$folder" ] ||
        fail "the monitor runs in $(readlink "/proc/$monitor_pid/cwd"), expected $folder"
    environment_of "$monitor_pid" | grep -qx 'QT_QPA_PLATFORM=offscreen' ||
        fail "the monitor was not started headless"
    grep -q 'no display: running headless' "$work/fresh.stderr" ||
        fail "the launcher did not say that it runs headless"
    [ "$(wc -l <"$work/fresh.stdout")" = 1 ] || fail "a start without servers.ini logged more than the modem line"
    monitor_stop
    [ "$monitor_status" = 0 ] || fail "exit status $monitor_status after SIGTERM, expected 0"
    history_private "$folder"
    [ -z "$(files_besides_history "$folder")" ] ||
        fail "files were put into the operator's folder: $(files_besides_history "$folder")"
    ;;

config_home_and_probe)
    # XDG_CONFIG_HOME names the base; an existing folder keeps its mode, and the servers.ini
    # in it is the one the monitor probes.
    listener_start
    base=$work/xdg
    mkdir -p "$base/servermonitor"
    chmod 755 "$base/servermonitor"
    servers_ini "$base/servermonitor/servers.ini" "$listener_port"
    cp "$base/servermonitor/servers.ini" "$work/servers.ini.before"
    launch probe HOME="$work/unused-home" XDG_CONFIG_HOME="$base"
    wait_for 60 "a probe of the listener" log_has probe "连接127.0.0.1成功!"
    grep -q '^accepted 127.0.0.1$' "$work/listener.log" || fail "the listener saw no connection"
    [ "$(readlink "/proc/$monitor_pid/cwd")" = "$base/servermonitor" ] || fail "the monitor runs in the wrong folder"
    monitor_stop
    [ "$monitor_status" = 0 ] || fail "exit status $monitor_status after SIGTERM, expected 0"
    [ "$(mode_of "$base/servermonitor")" = 755 ] || fail "the launcher changed an existing folder's mode"
    cmp -s "$base/servermonitor/servers.ini" "$work/servers.ini.before" || fail "servers.ini was changed"
    [ ! -e "$work/unused-home" ] || fail "HOME was used although XDG_CONFIG_HOME was set"

    # A relative XDG_CONFIG_HOME does not count: HOME's .config is used.
    mkdir "$work/home"
    launch relative HOME="$work/home" XDG_CONFIG_HOME=relative-config
    wait_for 60 "the modem line" modem_line_logged relative
    monitor_stop
    [ -d "$work/home/.config/servermonitor" ] || fail "a relative XDG_CONFIG_HOME was not ignored"
    [ ! -e "$work/relative-config" ] || fail "a relative XDG_CONFIG_HOME was used"
    ;;

display_choice)
    # The platform the operator asked for is kept; a display of either kind means no headless
    # start.
    mkdir "$work/home"
    launch minimal HOME="$work/home" QT_QPA_PLATFORM=minimal
    wait_for 60 "the modem line" modem_line_logged minimal
    environment_of "$monitor_pid" | grep -qx 'QT_QPA_PLATFORM=minimal' ||
        fail "QT_QPA_PLATFORM=minimal was not kept"
    monitor_stop
    ! grep -q 'running headless' "$work/minimal.stderr" || fail "headless note although a platform was set"

    # Only a Wayland display named (one that does not exist): the monitor must try it rather
    # than go headless, so it cannot start.
    run_launcher wayland HOME="$work/home" WAYLAND_DISPLAY=no-such-wayland-display --
    [ "$status" != 0 ] || fail "the monitor started headless although WAYLAND_DISPLAY was set"
    ! grep -q 'running headless' "$work/wayland.stderr" || fail "headless note although WAYLAND_DISPLAY was set"

    # An X display, when the test has one: no platform is forced.
    if [ -n "${DISPLAY:-}" ] && xwininfo -root >/dev/null 2>&1; then
        launch x11 HOME="$work/home" DISPLAY="$DISPLAY"
        wait_for 60 "the modem line" modem_line_logged x11
        ! environment_of "$monitor_pid" | grep -q '^QT_QPA_PLATFORM=' ||
            fail "a platform was forced although DISPLAY was set"
        monitor_stop
        [ "$monitor_status" = 0 ] || fail "exit status $monitor_status on the X display, expected 0"
    else
        echo "no X display here: the DISPLAY case was not run"
    fi
    ;;

errors)
    # Nowhere to keep the files, or no way to make the folder: a message and status 1, and no
    # monitor started. A wrong argument: the usage and status 2.
    run_launcher no_home --
    [ "$status" = 1 ] || fail "status $status without HOME, expected 1"
    grep -q 'HOME is not set' "$work/no_home.stderr" || fail "no message without HOME"
    ! grep -q . "$work/no_home.stdout" || fail "the monitor started without HOME"

    run_launcher relative_home HOME=relative-home --
    [ "$status" = 1 ] || fail "status $status with a relative HOME, expected 1"
    grep -q 'HOME is not an absolute path' "$work/relative_home.stderr" || fail "no message for a relative HOME"

    mkdir "$work/home"
    touch "$work/home/.config"
    run_launcher blocked HOME="$work/home" --
    [ "$status" = 1 ] || fail "status $status when the folder cannot be made, expected 1"
    grep -q "cannot create $work/home/.config/servermonitor" "$work/blocked.stderr" ||
        fail "no message when the folder cannot be made"
    ! grep -q . "$work/blocked.stdout" || fail "the monitor started without its folder"

    for args in --bogus "--autostart --no-autostart"; do
        # shellcheck disable=SC2086
        run_launcher usage HOME="$work/home" -- $args
        [ "$status" = 2 ] || fail "status $status for '$args', expected 2"
        grep -q '^usage: servermonitor-launch' "$work/usage.stderr" || fail "no usage for '$args'"
    done
    run_launcher help HOME="$work/home" -- --help
    [ "$status" = 0 ] && grep -q '^usage: ' "$work/help.stdout" || fail "--help did not show the usage"
    ;;

autostart)
    # --autostart puts an exact copy of the menu entry into the autostart folder and
    # --no-autostart takes it out; the copy goes under XDG_CONFIG_HOME when that is set.
    mkdir -p "$work/home" "$work/data/applications"
    cp "$entry" "$work/data/applications/"
    name=$(basename "$entry")
    run_launcher on HOME="$work/home" XDG_DATA_DIRS="$work/empty:$work/data" -- --autostart
    [ "$status" = 0 ] || fail "--autostart ended with status $status"
    cmp -s "$entry" "$work/home/.config/autostart/$name" || fail "no copy of the menu entry in autostart"
    [ ! -e "$work/home/.config/servermonitor" ] || fail "--autostart started the monitor"

    run_launcher off HOME="$work/home" -- --no-autostart
    [ "$status" = 0 ] || fail "--no-autostart ended with status $status"
    [ ! -e "$work/home/.config/autostart/$name" ] || fail "--no-autostart left the entry"
    run_launcher off_again HOME="$work/home" -- --no-autostart
    [ "$status" = 0 ] || fail "a second --no-autostart ended with status $status"

    run_launcher xdg HOME="$work/home" XDG_CONFIG_HOME="$work/xdg" XDG_DATA_DIRS="$work/data" -- --autostart
    cmp -s "$entry" "$work/xdg/autostart/$name" || fail "--autostart ignored XDG_CONFIG_HOME"

    run_launcher missing HOME="$work/home" XDG_DATA_DIRS="$work/empty" -- --autostart
    [ "$status" = 1 ] || fail "status $status without a menu entry to copy, expected 1"
    grep -q "cannot find the menu entry $name" "$work/missing.stderr" || fail "no message without a menu entry"
    ;;

*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "launcher $case_name: passed"
