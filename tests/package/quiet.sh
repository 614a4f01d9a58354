#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# quiet.sh [--status-only] COMMAND ARG...
# Passes when COMMAND exits 0 and, unless --status-only, prints nothing: a validator's hints and
# warnings fail the test as its errors do. Ends with 77 (skipped) when the machine lacks COMMAND.
set -u
statusOnly=false
if [ "$1" = --status-only ]; then
    statusOnly=true
    shift
fi
if ! command -v "$1" >/dev/null 2>&1; then
    echo "SKIP: $1 is not installed (scripts/install-deps.sh installs it)"
    exit 77
fi
output=$("$@" 2>&1)
status=$?
printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
    echo "FAIL: $* exited with $status"
    exit 1
fi
if ! $statusOnly && [ -n "$output" ]; then
    echo "FAIL: $* reported the above"
    exit 1
fi
