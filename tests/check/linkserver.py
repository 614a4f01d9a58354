#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A web server for the link-check tests: one plain and one TLS port on 127.0.0.1, answering every
case the checker must tell apart. Prints {"http": port, "https": port, "closed": port} once ready."""
import http.server
import json
import socket
import ssl
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    busy_seen = set()
    holding = 0
    peak = 0
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def answer(self, status, headers=(), body=b""):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, status, where):
        self.answer(status, [("Location", where)])

    def do_HEAD(self):
        self.route()

    def do_GET(self):
        self.route()

    def route(self):
        path = self.path
        if path.startswith("/hold"):
            with Handler.lock:
                Handler.holding += 1
                if Handler.holding > Handler.peak:
                    Handler.peak = Handler.holding
                    print("peak %d" % Handler.peak, flush=True)
            time.sleep(0.3)
            with Handler.lock:
                Handler.holding -= 1
            return self.answer(200)
        if path.startswith("/ok"):
            return self.answer(200, body=b"fine")
        if path == "/r301":
            return self.redirect(301, "/ok")
        if path == "/r308":
            return self.redirect(308, "/ok?via=308")
        if path == "/r302":
            return self.redirect(302, "/ok")
        if path == "/chain":
            return self.redirect(301, "/chain2")
        if path == "/chain2":
            return self.redirect(308, "/chain3")
        if path == "/chain3":
            return self.redirect(302, "/ok")
        if path == "/moved-to-dead":
            return self.redirect(301, "/gone404")
        if path == "/loop":
            return self.redirect(302, "/loop2")
        if path == "/loop2":
            return self.redirect(302, "/loop")
        if path.startswith("/many/"):
            step = int(path.rsplit("/", 1)[1])
            return self.redirect(302, "/many/%d" % (step + 1))
        if path == "/gone404":
            return self.answer(404)
        if path == "/gone410":
            return self.answer(410)
        if path == "/nohead":
            return self.answer(405 if self.command == "HEAD" else 200)
        if path == "/headlies":
            return self.answer(404 if self.command == "HEAD" else 200)
        if path == "/forbidden":
            return self.answer(403)
        if path == "/busy-once":
            if path in Handler.busy_seen:
                return self.answer(200)
            Handler.busy_seen.add(path)
            return self.answer(429, [("Retry-After", "1")])
        if path == "/busy":
            return self.answer(429, [("Retry-After", "1")])
        if path == "/busy-long":
            # Times 1000 past a 32-bit int: a wait that must be given up on, not scheduled.
            return self.answer(429, [("Retry-After", "2147484")])
        if path == "/busy-huge":
            return self.answer(503, [("Retry-After", "9" * 40)])
        if path == "/busy-far":
            return self.answer(429, [("Retry-After", "Fri, 31 Dec 9999 23:59:59 GMT")])
        if path == "/unavailable":
            return self.answer(503, [("Retry-After", "3600")])
        if path == "/error":
            return self.answer(500)
        if path == "/slow":
            time.sleep(60)
            return self.answer(200)
        if path == "/endless-body":
            if self.command == "HEAD":
                return self.answer(405)
            self.send_response(200)
            self.end_headers()
            try:
                while True:
                    self.wfile.write(b"x" * 65536)
            except OSError:
                return
        if path == "/endless-headers":
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            try:
                n = 0
                while True:
                    n += 1
                    self.wfile.write(b"X-Filler-%d: %s\r\n" % (n, b"y" * 1000))
                    # Headers that never end, at a pace that leaves the client's other replies
                    # (and a loaded machine) alone.
                    time.sleep(0.01)
            except OSError:
                return
        return self.answer(404)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128


def main():
    cert, key = sys.argv[1], sys.argv[2]
    plain = Server(("127.0.0.1", 0), Handler)
    secure = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    secure.socket = context.wrap_socket(secure.socket, server_side=True)
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))
    closed_port = closed.getsockname()[1]
    closed.close()
    for server in (plain, secure):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print(json.dumps({"http": plain.server_address[1], "https": secure.server_address[1], "closed": closed_port}),
          flush=True)
    sys.stdin.read()  # runs until the test closes our input


if __name__ == "__main__":
    main()
