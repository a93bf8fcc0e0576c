# shellcheck shell=bash disable=SC2034
# Sourced by the scripts of this folder: failing with the monitor's output, bounded waits, a
# loopback listener and the monitor as a background process. The caller sets `work` (a private
# temporary folder) and calls support_cleanup from its EXIT trap.

support_pids=()

fail() {
    echo "FAIL: $*" >&2
    local f
    for f in "$work"/*.stdout "$work"/*.stderr "$work"/listener.log; do
        [ -s "$f" ] && sed "s|^|  $(basename "$f"): |" "$f" >&2
    done
    exit 1
}

# wait_for <seconds> <what> <command...>: polls the command until it succeeds, else fails.
wait_for() {
    local limit=$1 what=$2
    shift 2
    local end=$((SECONDS + limit))
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && fail "timed out after ${limit}s waiting for $what"
        sleep 0.1
    done
}

# A child that has ended stays a zombie until it is waited for.
process_alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    [ "$(sed -E 's/.*\) ([A-Za-z]).*/\1/' <<<"$stat")" != Z ]
}

# listener_start: a TCP listener on 127.0.0.1 that accepts every connection and notes each in
# $work/listener.log; sets listener_port. It ends by itself after two minutes.
listener_start() {
    python3 -c '
import os, socket, sys, time
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
server.settimeout(0.2)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(str(server.getsockname()[1]))
os.rename(sys.argv[1] + ".tmp", sys.argv[1])
held = []
end = time.monotonic() + 120
while time.monotonic() < end:
    try:
        connection, peer = server.accept()
    except socket.timeout:
        continue
    held.append(connection)
    with open(sys.argv[2], "a") as f:
        f.write("accepted %s\n" % peer[0])
' "$work/listener.port" "$work/listener.log" &
    support_pids+=("$!")
    wait_for 20 "the listener's port" test -s "$work/listener.port"
    listener_port=$(cat "$work/listener.port")
}

# servers_ini <file> <port>: one server on 127.0.0.1, GBK text as the program reads it.
servers_ini() {
    printf '[%s]\r\nIP=127.0.0.1\r\nPort=%s\r\nSoundAlert=0\r\nSMSAlert=0\r\n' \
        "$(printf '本机服务' | iconv -f UTF-8 -t GBK)" "$2" >"$1"
}

# monitor_start <name> <command...>: runs the command in the background, its output in
# $work/<name>.stdout and .stderr; sets monitor_pid.
monitor_start() {
    local name=$1
    shift
    "$@" >"$work/$name.stdout" 2>"$work/$name.stderr" &
    monitor_pid=$!
    support_pids+=("$monitor_pid")
}

# monitor_stop: ends the monitor with SIGTERM, as a session's end does; sets monitor_status.
monitor_stop() {
    kill -TERM "$monitor_pid" 2>/dev/null
    local end=$((SECONDS + 30))
    while process_alive "$monitor_pid"; do
        [ "$SECONDS" -ge "$end" ] && fail "the monitor did not end within 30 s of SIGTERM"
        sleep 0.1
    done
    wait "$monitor_pid"
    monitor_status=$?
}

# log_has <name> <text>: the monitor's standard output holds the line.
log_has() { grep -qxF -- "$2" "$work/$1.stdout"; }

# modem_line_logged <name>: the start-up line of the modem, whichever the outcome.
modem_line_logged() { log_has "$1" "初始化短信设备完成！" || log_has "$1" "初始化短信设备失败！"; }

support_cleanup() {
    local p
    for p in "${support_pids[@]}"; do kill "$p" 2>/dev/null; done
    wait 2>/dev/null
}
