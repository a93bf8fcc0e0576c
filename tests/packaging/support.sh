# shellcheck shell=bash
# Sourced by the scripts of this folder, on top of the end-to-end scripts' library (fail,
# wait_for, alive, cleanup at exit; call e2e_init first): a loopback listener, a servers.ini for
# it, and the monitor as a background process with its log.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"

# listener_start: a TCP listener on 127.0.0.1 that accepts every connection and notes each in
# $e2e_work/listener.log; sets listener_port. It ends by itself after two minutes.
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
' "$e2e_work/listener.port" "$e2e_work/listener.log" &
    e2e_pids+=("$!")
    e2e_logs+=("$e2e_work/listener.log")
    wait_for 20 "the listener's port" test -s "$e2e_work/listener.port"
    listener_port=$(cat "$e2e_work/listener.port")
}

# servers_ini <file> <port>: one server on 127.0.0.1, GBK text as the program reads it.
servers_ini() {
    printf '[%s]\r\nIP=127.0.0.1\r\nPort=%s\r\nSoundAlert=0\r\nSMSAlert=0\r\n' \
        "$(printf '本机服务' | iconv -f UTF-8 -t GBK)" "$2" >"$1"
}

# monitor_start <name> <command...>: runs the command in the background, its output in
# $e2e_work/<name>.stdout and .stderr; sets monitor_pid. The command has to end in an exec of the
# monitor (env, the launcher), so that the pid is the monitor's.
monitor_start() {
    local name=$1
    shift
    e2e_logs+=("$e2e_work/$name.stdout" "$e2e_work/$name.stderr")
    # Made here, not by the child's redirection, so that they exist as soon as this returns.
    : >"$e2e_work/$name.stdout"
    : >"$e2e_work/$name.stderr"
    "$@" >>"$e2e_work/$name.stdout" 2>>"$e2e_work/$name.stderr" &
    monitor_pid=$!
    e2e_pids+=("$monitor_pid")
}

# monitor_stop: ends the monitor with SIGTERM, as a session's end does; sets monitor_status.
monitor_stop() {
    kill -TERM "$monitor_pid" 2>/dev/null
    local end=$((SECONDS + 30))
    while alive "$monitor_pid"; do
        [ "$SECONDS" -ge "$end" ] && fail "the monitor did not end within 30 s of SIGTERM"
        sleep 0.1
    done
    wait "$monitor_pid"
    monitor_status=$?
}

# log_has <name> <line>: the monitor's standard output holds the line. Only 0 or 1: for
# wait_for, 2 would mean that the line can no longer come.
log_has() { grep -qxF -- "$2" "$e2e_work/$1.stdout" 2>/dev/null || return 1; }

# modem_line_logged <name>: the modem's start-up line, whichever the outcome.
modem_line_logged() { log_has "$1" "初始化短信设备完成！" || log_has "$1" "初始化短信设备失败！"; }

# files_besides_history FOLDER: what is in FOLDER other than the history the monitor keeps there
# itself (history.db and SQLite's -wal and -shm beside it).
files_besides_history() { ls -A "$1" | grep -vxE 'history\.db(-wal|-shm)?' || true; }

# history_private FOLDER: fails when FOLDER's history.db is readable by anyone but its owner.
history_private() {
    [ ! -e "$1/history.db" ] || [ "$(stat -c %a "$1/history.db")" = 600 ] ||
        fail "$1/history.db has mode $(stat -c %a "$1/history.db"), expected 600"
}
