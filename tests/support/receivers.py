#!/usr/bin/python3
"""Local receivers for the alert channels' tests, on 127.0.0.1 only.

  receivers.py certs DIR
      makes DIR/ca.pem (a private authority) and DIR/server.pem, DIR/server.key (for 127.0.0.1,
      signed by it) with the openssl command.
  receivers.py http RECORD [--port N] [--plan 500,200] [--hang] [--tls CERT KEY]
      an HTTP(S) receiver: answers each request with the next status of the plan (200 once the
      plan is used up), or never when --hang; records every request it read as one JSON line
      in RECORD: time, method, path, headers (name, value pairs), body (base64).
  receivers.py smtp RECORD --tls CERT KEY --user U --password P [--port N]
      an SMTP server (aiosmtpd) that requires STARTTLS and AUTH; records every message as one
      JSON line: time, from, to, data (base64).

Prints "READY <port>" on standard output when it listens, and runs until it is ended.
"""
import argparse
import base64
import json
import os
import signal
import ssl
import subprocess
import sys
import threading
import time
import warnings
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def record(path, entry):
    entry["time"] = time.time()
    with open(path, "a", encoding="utf-8") as out:
        out.write(json.dumps(entry) + "\n")


def ready(port):
    print(f"READY {port}", flush=True)


def certs(folder):
    def run(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)

    ca_key, ca = f"{folder}/ca.key", f"{folder}/ca.pem"
    key, csr, cert = f"{folder}/server.key", f"{folder}/server.csr", f"{folder}/server.pem"
    ext = f"{folder}/server.ext"
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
        "/CN=servermonitor test authority", "-keyout", ca_key, "-out", ca)
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", key,
        "-out", csr)
    with open(ext, "w", encoding="ascii") as out:
        out.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n")
    run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-days",
        "2", "-extfile", ext, "-out", cert)


def http(args):
    plan = [int(s) for s in args.plan.split(",") if s] if args.plan else []
    lock = threading.Lock()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length)
            record(args.record, {
                "method": self.command, "path": self.path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": base64.b64encode(body).decode("ascii")})
            if args.hang:
                time.sleep(3600)
                return
            with lock:
                status = plan.pop(0) if plan else 200
            self.send_response(status)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"ok")

    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    ready(server.server_address[1])
    server.serve_forever()


def smtp(args):
    # aiosmtpd warns of its own deprecated attribute whenever a login succeeds.
    warnings.simplefilter("ignore", DeprecationWarning)
    from aiosmtpd.controller import Controller
    from aiosmtpd.smtp import AuthResult

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            record(args.record, {
                "from": envelope.mail_from, "to": envelope.rcpt_tos,
                "data": base64.b64encode(envelope.original_content or b"").decode("ascii")})
            return "250 OK"

    def authenticator(server, session, envelope, mechanism, data):
        good = (getattr(data, "login", None) == args.user.encode()
                and getattr(data, "password", None) == args.password.encode())
        if not good:
            record(args.record, {"refused_login": True})
        return AuthResult(success=good, handled=False)

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.tls[0], args.tls[1])
    port = args.port
    if port == 0:
        import socket
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
    controller = Controller(Handler(), hostname="127.0.0.1", port=port, tls_context=context,
                            require_starttls=True, authenticator=authenticator,
                            auth_require_tls=True)
    controller.start()
    ready(port)
    signal.sigwait([signal.SIGTERM, signal.SIGINT])
    controller.stop()


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="kind", required=True)
    c = sub.add_parser("certs")
    c.add_argument("folder")
    h = sub.add_parser("http")
    h.add_argument("record")
    h.add_argument("--port", type=int, default=0)
    h.add_argument("--plan", default="")
    h.add_argument("--hang", action="store_true")
    h.add_argument("--tls", nargs=2)
    s = sub.add_parser("smtp")
    s.add_argument("record")
    s.add_argument("--port", type=int, default=0)
    s.add_argument("--tls", nargs=2, required=True)
    s.add_argument("--user", required=True)
    s.add_argument("--password", required=True)
    args = parser.parse_args()
    if args.kind == "certs":
        certs(args.folder)
    elif args.kind == "http":
        signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
        http(args)
    else:
        signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM, signal.SIGINT])
        smtp(args)


if __name__ == "__main__":
    sys.exit(main())
