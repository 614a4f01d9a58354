#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each fuzz target of a VARNELO_FUZZ build for SECONDS on its corpus, one after the other, and
# prints per target its executions, its coverage (cov: edges, ft: features) and its time.
# The corpus a run grows stays in the build folder; the committed seeds are only read.
# A crash, a sanitizer report, a leak, a timeout or running out of memory is a finding: its input
# is kept in BUILD/findings/ and the script ends non-zero once every target has run.
# Usage: run.sh BUILD SECONDS [TARGET...]   (default: every target; extra libFuzzer flags in FUZZ_FLAGS)
set -u

build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=${*:-"binary backup iconlist favorites settings bookmarkfile chromium firefox profiles syncfile propfind linkheaders"}
build=$(cd "$build" && pwd)

# The readers that take a path get their input through files: tmpfs keeps that from costing disk
# writes and fsyncs; everything the targets leave is removed at the end.
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=$build
scratch=$(mktemp -d "$base/varnelo-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$build/findings" "$build/logs"

found=0
summary=""
for target in $targets; do
    corpus=$build/corpus/$target
    log=$build/logs/$target.log
    mkdir -p "$corpus"
    echo "== fuzz_$target: ${seconds}s"
    started=$(date +%s)
    TMPDIR=$scratch QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch \
        "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$target-" ${FUZZ_FLAGS:-} \
        "$corpus" "$here/corpus/$target" >"$log" 2>&1
    status=$?
    time=$(($(date +%s) - started))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    verdict="no finding"
    if [ "$status" -ne 0 ]; then
        found=1
        artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
        verdict="FINDING (exit $status): ${artifact:-see $log}"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*fuzz check failed|.*runtime error)' "$log" | head -n 3
    fi
    line=$(printf '%-14s %12s execs  cov: %-6s ft: %-7s %6ss  %s' \
        "$target" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${time:-?}" "$verdict")
    echo "$line"
    summary="$summary$line
"
done
echo "== summary"
printf '%s' "$summary"
exit $found
