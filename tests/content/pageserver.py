#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Serves the folder given as its argument on 127.0.0.1 for the kept-page tests: a missing file is a
404 error page. Prints the port once ready; ends when its stdin closes."""
import functools
import http.server
import sys
import threading


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", 0), functools.partial(Handler, directory=sys.argv[1]))
threading.Thread(target=server.serve_forever, daemon=True).start()
print(server.server_address[1], flush=True)
sys.stdin.read()
server.shutdown()
