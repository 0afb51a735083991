#!/usr/bin/env bash
# Builds procguard and its benchmarks (linux preset) and measures the watchdog
# against the floor of what the platform allows and against its goals. Prints
# one line per figure with its goal and ratio; the Google Benchmark table goes
# to <build>/bench/bench-table.txt. Extra arguments go to the benchmark
# program, e.g. --benchmark_filter=lookup.
#
#   BENCH_BUILD_DIR   build folder (default build/linux)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

scripts/install-deps.sh bench

build=${BENCH_BUILD_DIR:-build/linux}
echo "== building in $build"
cmake --preset linux -B "$build" >/dev/null
cmake --build "$build" -j2 --target procguard_bench >/dev/null

# The folder of 100,000 files and the watchdog's configs and logs live here;
# removed unless a figure could not be measured. Idle processes and watchdogs
# die with the benchmark however it ends.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/procguard-bench.XXXXXX")
keep=0
trap '[ "$keep" -eq 1 ] || rm -rf "$scratch"' EXIT

table="$build/bench/bench-table.txt"
echo "== measuring (about a minute on an idle 2-core machine)"
status=0
TMPDIR="$scratch" "$build/bench/procguard_bench" "$@" 2>"$table" || status=$?
echo "== done in $(( $(date +%s) - started )) s; benchmark table: $table"
if [ "$status" -ne 0 ]; then
    keep=1
    echo "== some figures could not be measured; the end of the table:" >&2
    tail -n 20 "$table" >&2
fi
exit "$status"
