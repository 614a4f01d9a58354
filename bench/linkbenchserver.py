#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The link-check benchmark's server: PORTS ports on 127.0.0.1 answering 200 at once to everything
(keep-alive), so the figure is the checker's. Prints the ports as one JSON list once ready."""
import http.server
import json
import sys
import threading


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    do_GET = do_HEAD


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128


servers = [Server(("127.0.0.1", 0), Handler) for _ in range(int(sys.argv[1]))]
for server in servers:
    threading.Thread(target=server.serve_forever, daemon=True).start()
print(json.dumps([server.server_address[1] for server in servers]), flush=True)
sys.stdin.read()
