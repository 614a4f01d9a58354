#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# readme_tables.sh README
# Every row of each table in the README has as many cells as its header: a row pasted into the
# wrong table shows there as a broken line of the table.
set -eu
awk '
    /^\|/ {
        line = $0
        gsub(/\\\|/, "", line)
        cells = gsub(/\|/, "|", line) - 1
        if (!inTable) { inTable = 1; header = cells; next }
        if (cells != header) {
            printf "FAIL: line %d has %d cells, its table %d: %s\n", NR, cells, header, $0
            failed = 1
        }
        next
    }
    { inTable = 0 }
    END {
        if (!failed) print "PASS: every table row of the README fits its table"
        exit failed
    }
' "$1"
