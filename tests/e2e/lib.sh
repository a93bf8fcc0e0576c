# Sourced by the end-to-end scripts of this folder: one way to fail, to wait, to clean up and to
# start a virtual X display of the script's own.
#
#   e2e_init <name>       a private folder $e2e_work, removed at exit with everything started
#   e2e_pids+=(pid)       processes to end at exit, the last started ending first
#   e2e_logs+=(file)      files shown on standard error when the script fails
#   fail <message>        reports, shows the logs, runs e2e_on_fail when defined, exits 1
#   wait_for <s> <what> <command...>   polls the command until it succeeds, or fails the script
#   holds_for <s> <what> <command...>  the command keeps succeeding for that long, or fails
#   poll <s> <command...>  like wait_for but returns instead of failing: 1 when the time is up,
#                          2 when the command returned 2 (what it waits for can no longer come)
#   alive <pid>           the process runs (a child that ended is a zombie until waited for)
#   display_start <logs>  Xvfb on a free number with openbox; exports DISPLAY
#   main_window_of <pid>  sets main_window to the monitor's shown main window (219 pixels wide;
#                         Qt has hidden windows too); 1 while there is none, 2 once pid is gone

e2e_init() {
    e2e_name=$1
    e2e_work=$(mktemp -d)
    e2e_pids=()
    e2e_logs=()
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    local i p end
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
        p=${e2e_pids[i]}
        kill "$p" 2>/dev/null || continue
        # The program first, through its close path, while its display is still there; one
        # that does not end on SIGTERM (a hung program, what these tests look for) is killed.
        end=$((SECONDS + 10))
        while alive "$p" && [ "$SECONDS" -lt "$end" ]; do sleep 0.1; done
        alive "$p" && kill -KILL "$p" 2>/dev/null
    done
    # Only the processes started here: a bare wait would also wait for anything else the
    # script left running in the background.
    for p in "${e2e_pids[@]}"; do wait "$p" 2>/dev/null; done
    [ -n "${e2e_work:-}" ] && rm -rf "$e2e_work"
}

fail() {
    echo "FAIL ($e2e_name): $*" >&2
    declare -F e2e_on_fail >/dev/null && e2e_on_fail
    local log
    local -A shown=()
    for log in "${e2e_logs[@]}"; do
        [ -n "${shown[$log]:-}" ] && continue
        shown[$log]=1
        [ -s "$log" ] && sed "s|^|  $(basename "$log"): |" "$log" >&2
    done
    exit 1
}

alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    [ "$(sed -E 's/.*\) ([A-Za-z]).*/\1/' <<<"$stat")" != Z ]
}

poll() {
    local limit=$1
    shift
    local end=$((SECONDS + limit)) status
    while :; do
        "$@"
        status=$?
        [ "$status" -eq 0 ] && return 0
        [ "$status" -eq 2 ] && return 2
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.2
    done
}

wait_for() {
    local limit=$1 what=$2
    shift 2
    poll "$limit" "$@"
    case $? in
    0) ;;
    2) fail "gave up waiting for $what: it can no longer come" ;;
    *) fail "timed out after ${limit}s waiting for $what" ;;
    esac
}

holds_for() {
    local limit=$1 what=$2
    shift 2
    local end=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$end" ]; do
        "$@" || fail "$what"
        sleep 0.2
    done
}

# Our Xvfb still runs, owns the display's lock and answers on it.
display_server_up() {
    alive "$display_xvfb" || return 2
    [ -e "/tmp/.X$1-lock" ] && [ "$(tr -d ' ' <"/tmp/.X$1-lock")" = "$display_xvfb" ] || return 1
    DISPLAY=":$1" xwininfo -root >/dev/null 2>&1
}

# The whole output is read before it is searched: with pipefail, "grep -q" leaving early would
# make the pipeline fail on its writer's SIGPIPE.
display_wm_up() {
    alive "$1" || return 2
    grep -q '"Openbox"' <<<"$(xwininfo -root -tree 2>/dev/null)"
}

display_start() {
    local logs=$1 n tries=0 attempt wm
    e2e_logs+=("$logs/xvfb.log" "$logs/openbox.log")
    # A display number nobody uses: free of lock and socket, and kept only when our own server
    # answers on it (xvfb-run -a counts up from 99; start elsewhere and at random).
    n=$((200 + RANDOM % 500))
    while :; do
        tries=$((tries + 1))
        [ "$tries" -gt 20 ] && fail "no free X display"
        n=$((n + 1))
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$logs/xvfb.log" 2>&1 &
        display_xvfb=$!
        if poll 20 display_server_up "$n"; then
            e2e_pids+=("$display_xvfb")
            break
        fi
        kill "$display_xvfb" 2>/dev/null
        wait "$display_xvfb" 2>/dev/null
    done
    export DISPLAY=":$n"
    # Seen rarely on a loaded machine: openbox cannot open a display that has just answered.
    # It then ends at once and is started again.
    for attempt in 1 2 3; do
        openbox --sm-disable >>"$logs/openbox.log" 2>&1 &
        wm=$!
        e2e_pids+=("$wm")
        poll 30 display_wm_up "$wm" && return 0
        sleep 1
    done
    fail "openbox did not come up on $DISPLAY"
}

main_window_of() {
    local w
    alive "$1" || return 2
    for w in $(xdotool search --onlyvisible --name 'Vormix' 2>/dev/null); do
        if grep -q 'Width: 219' <<<"$(xwininfo -id "$w" 2>/dev/null)"; then
            main_window=$w
            return 0
        fi
    done
    return 1
}
