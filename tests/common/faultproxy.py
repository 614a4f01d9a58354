#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A WebDAV proxy on 127.0.0.1 for the sync tests: it forwards every request to a real server and
breaks the ones it is told to break, as a bad network or a bad server would.

faultproxy.py PORT UPSTREAM_PORT FAULT MATCH [LOG]

FAULT applies to requests whose path holds MATCH:
  none             forward everything
  cut-get          GET: the headers and half the body, then the connection closes
  short-get        GET: a whole answer of a file cut short on the server
  get-500          GET: 500 Internal Server Error
  stall-get        GET: the headers, then silence
  huge-get         GET: a body without end
  list-503         PROPFIND: 503 Service Unavailable
  list-drop        PROPFIND: the connection closes without an answer
  huge-list        PROPFIND: a multistatus without end
  move-cut         MOVE: the connection closes without forwarding it
  move-cut-after   MOVE: forwarded, then the connection closes without the answer
  redirect:PORT    anything: 307 to the same path on 127.0.0.1:PORT
  record           nothing is forwarded: each request is logged (method, path, whether it carried
                   credentials) and answered 404
"""
import http.client
import http.server
import sys
import time

PORT, UPSTREAM, FAULT, MATCH = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
LOG = sys.argv[5] if len(sys.argv) > 5 else None
HOP = {"connection", "keep-alive", "transfer-encoding", "host", "content-length"}


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def cut(self):
        self.close_connection = True
        self.wfile.flush()
        self.connection.shutdown(2)

    def answer(self, status, headers, body):
        self.send_response(status)
        for name, value in headers:
            if name.lower() not in HOP:
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def forward(self, body):
        upstream = http.client.HTTPConnection("127.0.0.1", UPSTREAM, timeout=60)
        headers = {name: value for name, value in self.headers.items() if name.lower() not in HOP}
        # A MOVE names its destination by the address the client used: the proxy's, not the server's.
        for name in headers:
            if name.lower() == "destination":
                headers[name] = headers[name].replace(":%d/" % PORT, ":%d/" % UPSTREAM, 1)
        upstream.request(self.command, self.path, body=body, headers=headers)
        reply = upstream.getresponse()
        data = reply.read()
        upstream.close()
        return reply.status, reply.getheaders(), data

    def handle_any(self):
        body = self.body()
        hit = MATCH in self.path
        if FAULT == "record":
            with open(LOG, "a") as log:
                log.write("%s %s %s\n" % (self.command, self.path, "credentials" if "Authorization" in self.headers else "none"))
            return self.answer(404, [], b"")
        if hit and FAULT.startswith("redirect:"):
            return self.answer(307, [("Location", "http://127.0.0.1:%s%s" % (FAULT.split(":")[1], self.path))], b"")
        if hit and self.command == "GET":
            if FAULT == "get-500":
                return self.answer(500, [], b"broken")
            if FAULT in ("stall-get", "huge-get"):
                self.send_response(200)
                self.send_header("Content-Length", str(1 << 40))
                self.end_headers()
                if FAULT == "stall-get":
                    time.sleep(120)
                    return self.cut()
                chunk = b"\0" * 65536
                try:
                    while True:
                        self.wfile.write(chunk)
                except OSError:
                    return
            status, headers, data = self.forward(body)
            if FAULT == "cut-get":
                self.send_response(status)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data[: len(data) // 2])
                return self.cut()
            if FAULT == "short-get":
                return self.answer(status, headers, data[:-7])
            return self.answer(status, headers, data)
        if hit and self.command == "PROPFIND":
            if FAULT == "list-503":
                return self.answer(503, [], b"busy")
            if FAULT == "list-drop":
                return self.cut()
            if FAULT == "huge-list":
                self.send_response(207)
                self.send_header("Content-Length", str(1 << 40))
                self.end_headers()
                entry = b"<d:response><d:href>/x/</d:href></d:response>" * 1000
                try:
                    self.wfile.write(b'<?xml version="1.0"?><d:multistatus xmlns:d="DAV:">')
                    while True:
                        self.wfile.write(entry)
                except OSError:
                    return
        if hit and self.command == "MOVE":
            if FAULT == "move-cut":
                return self.cut()
            if FAULT == "move-cut-after":
                self.forward(body)
                return self.cut()
        status, headers, data = self.forward(body)
        self.answer(status, headers, data)

    do_GET = do_PUT = do_PROPFIND = do_MKCOL = do_MOVE = do_DELETE = do_HEAD = do_OPTIONS = handle_any


http.server.ThreadingHTTPServer.daemon_threads = True
http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Proxy).serve_forever()
