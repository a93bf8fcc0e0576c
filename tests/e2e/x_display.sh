# Sourced by the end-to-end scripts of this folder: a virtual X display of the caller's own
# (Xvfb on a free number) with openbox managing it.
#
#   x_display_start <folder for xvfb.log and openbox.log>
# exports DISPLAY, sets x_display_pids (Xvfb, openbox) for the caller to end, and returns
# non-zero with a message on standard error when no display could be had.

# A child that has ended stays a zombie until it is waited for.
x_display_alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    [ "$(sed -E 's/.*\) ([A-Za-z]).*/\1/' <<<"$stat")" != Z ]
}

# x_display_wait <seconds> <command...>: polls the command until it succeeds; returns 1 when the
# time is up, and at once when the command returns 2.
x_display_wait() {
    local limit=$1
    shift
    local end=$((SECONDS + limit)) status
    while :; do
        "$@"
        status=$?
        [ "$status" -eq 0 ] && return 0
        [ "$status" -eq 2 ] && return 1
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.2
    done
}

# Our Xvfb still runs, owns the display's lock and answers on it.
x_display_server_up() {
    x_display_alive "$x_display_xvfb" || return 2
    [ -e "/tmp/.X$1-lock" ] && [ "$(tr -d ' ' <"/tmp/.X$1-lock")" = "$x_display_xvfb" ] || return 1
    DISPLAY=":$1" xwininfo -root >/dev/null 2>&1
}

# The whole output is read before it is searched: with pipefail, "grep -q" leaving early would
# make the pipeline fail on its writer's SIGPIPE.
x_display_wm_up() {
    x_display_alive "$1" || return 2
    grep -q '"Openbox"' <<<"$(xwininfo -root -tree 2>/dev/null)"
}

x_display_start() {
    local logs=$1 n tries=0 attempt wm
    x_display_pids=()
    # A display number nobody uses: free of lock and socket, and kept only when our own server
    # answers on it (xvfb-run -a counts up from 99; start elsewhere and at random).
    n=$((200 + RANDOM % 500))
    while :; do
        tries=$((tries + 1))
        if [ "$tries" -gt 20 ]; then
            echo "no free X display" >&2
            return 1
        fi
        n=$((n + 1))
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$logs/xvfb.log" 2>&1 &
        x_display_xvfb=$!
        if x_display_wait 20 x_display_server_up "$n"; then
            x_display_pids+=("$x_display_xvfb")
            break
        fi
        kill "$x_display_xvfb" 2>/dev/null
        wait "$x_display_xvfb" 2>/dev/null
    done
    export DISPLAY=":$n"
    # Seen rarely on a loaded machine: openbox cannot open a display that has just answered.
    # It then ends at once and is started again.
    for attempt in 1 2 3; do
        openbox --sm-disable >>"$logs/openbox.log" 2>&1 &
        wm=$!
        x_display_pids+=("$wm")
        x_display_wait 30 x_display_wm_up "$wm" && return 0
        sleep 1
    done
    echo "openbox did not come up on $DISPLAY" >&2
    return 1
}
