#!/usr/bin/env bash
# Builds procguard and its benchmarks (linux preset) and the Windows build's
# procguard.exe (windows preset) with the window benchmark's Windows program,
# and measures the watchdog against the floor of what the platform allows and
# against its goals. Prints one line per figure with its goal and ratio; the
# Google Benchmark table goes to <build>/bench/bench-table.txt. Extra
# arguments go to the benchmark program, e.g. --benchmark_filter=window.
#
#   BENCH_BUILD_DIR          build folder (default build/linux)
#   BENCH_WINDOWS_BUILD_DIR  build folder of the Windows build (default build/windows)
#   BENCH_WATCHDOG           another procguard to measure, e.g. one built from
#   BENCH_WINE_WATCHDOG      the code before a change; another procguard.exe
#   BENCH_WINEPREFIX         Wine prefix of the Windows figure (default
#                            <build>/bench/wine-prefix); its wineserver is stopped first
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

scripts/install-deps.sh bench

build=${BENCH_BUILD_DIR:-build/linux}
windows_build=${BENCH_WINDOWS_BUILD_DIR:-build/windows}
echo "== building in $build and $windows_build"
cmake --preset linux -B "$build" >/dev/null
cmake --build "$build" -j2 --target procguard_bench >/dev/null
cmake --preset windows -B "$windows_build" >/dev/null
cmake --build "$windows_build" -j2 --target procguard >/dev/null
build=$(cd "$build" && pwd)
x86_64-w64-mingw32-g++-posix -std=c++20 -O2 -static -static-libgcc -static-libstdc++ \
    -o "$build/bench/bench_window_client.exe" bench/win32/window_client.cpp -luser32
export BENCH_WINE_WATCHDOG=${BENCH_WINE_WATCHDOG:-$(cd "$windows_build" && pwd)/procguard.exe}
export BENCH_WINE_CLIENT=$build/bench/bench_window_client.exe

# Wine for the Windows figure. The benchmark starts the prefix's wineserver
# itself, to measure it alone: one left running is stopped first (it may
# belong to an X display that is gone). A new prefix is made without a
# display, and without the Mono and Gecko installers that would ask for one.
export WINEDEBUG=-all
export WINEPREFIX=${BENCH_WINEPREFIX:-$build/bench/wine-prefix}
wineserver=/usr/lib/wine/wineserver
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
if [ ! -d "$WINEPREFIX/drive_c" ]; then
    echo "== making the Wine prefix $WINEPREFIX"
    DISPLAY="" WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
fi

# The folder of 100,000 files and the watchdog's configs and logs live here;
# removed unless a figure could not be measured. Idle processes and watchdogs
# die with the benchmark however it ends; its X servers and Wine's server
# when it ends or is interrupted.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/procguard-bench.XXXXXX")
keep=0
trap '[ "$keep" -eq 1 ] || rm -rf "$scratch"' EXIT

table="$build/bench/bench-table.txt"
echo "== measuring (about seven and a half minutes on a 2-core machine)"
status=0
TMPDIR="$scratch" "$build/bench/procguard_bench" "$@" 2>"$table" || status=$?
echo "== done in $(( $(date +%s) - started )) s; benchmark table: $table"
if [ "$status" -ne 0 ]; then
    keep=1
    echo "== some figures could not be measured; the end of the table:" >&2
    tail -n 20 "$table" >&2
fi
exit "$status"
