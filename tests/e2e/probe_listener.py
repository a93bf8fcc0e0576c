#!/usr/bin/env python3
"""A loopback TCP server that records who probes it.

usage: probe_listener.py <port file> <record file>
Listens on 127.0.0.1 at a free port, writes the port to <port file>, then for every connection
appends one line "<seconds since start> <pid>" to <record file>: the pid of the process that owns
the connecting socket (found through /proc), or 0 when it cannot be told. Each connection is kept
until the peer closes it, as a probed server would.
"""
import os
import re
import selectors
import socket
import sys
import time


def socket_inodes(port):
    """Inodes of the local sockets bound to 127.0.0.1:<port> (the peer side of our connection)."""
    wanted = "0100007F:%04X" % port
    inodes = set()
    with open("/proc/net/tcp") as table:
        next(table)
        for line in table:
            fields = line.split()
            if fields[1] == wanted:
                inodes.add(fields[9])
    return inodes


def owner(port):
    inodes = socket_inodes(port)
    if not inodes:
        return 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            for fd in os.listdir("/proc/%s/fd" % pid):
                target = os.readlink("/proc/%s/fd/%s" % (pid, fd))
                m = re.fullmatch(r"socket:\[(\d+)\]", target)
                if m and m.group(1) in inodes:
                    return int(pid)
        except OSError:
            continue
    return 0


def main():
    port_file, record_file = sys.argv[1], sys.argv[2]
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    with open(port_file + ".tmp", "w") as f:
        f.write("%d\n" % server.getsockname()[1])
    os.rename(port_file + ".tmp", port_file)
    start = time.monotonic()
    sel = selectors.DefaultSelector()
    sel.register(server, selectors.EVENT_READ)
    while True:
        for key, _ in sel.select():
            if key.fileobj is server:
                conn, peer = server.accept()
                pid = owner(peer[1])
                with open(record_file, "a") as f:
                    f.write("%.3f %d\n" % (time.monotonic() - start, pid))
                sel.register(conn, selectors.EVENT_READ)
            else:
                try:
                    data = key.fileobj.recv(4096)
                except OSError:
                    data = b""
                if not data:
                    sel.unregister(key.fileobj)
                    key.fileobj.close()


if __name__ == "__main__":
    main()
