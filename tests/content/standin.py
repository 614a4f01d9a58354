#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Stands in for varnelo-extract and misbehaves as its first argument says, to show that a reader
that hangs, crashes, eats memory or floods the indexer with text costs only the file it was on."""
import os
import signal
import struct
import sys
import time

mode = sys.argv[1]
os.read(0, 65536)  # the request
if mode == "sleep":
    time.sleep(3600)
elif mode == "crash":
    os.kill(os.getpid(), signal.SIGSEGV)
elif mode == "memory":
    hoard = bytearray(1 << 30)
    time.sleep(3600)
elif mode == "flood":
    text = b"flood " * 10000
    frame = b"P" + struct.pack("<I", len(text) + 4) + struct.pack("<I", 0) + text
    while True:
        os.write(1, frame)
