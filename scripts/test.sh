#!/usr/bin/env bash
# Builds and runs every test suite: native Linux, Linux under AddressSanitizer
# / UBSan / LeakSanitizer, and the Windows build under Wine. Installs the
# Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

export WINEDEBUG=-all
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

# One X display for every test that opens a window (Windows tests under Wine).
display=""
for n in $(seq 71 99); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
Xvfb ":$display" -nolisten tcp -noreset -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"

# Wine for the Windows tests: a prefix of its own on a fresh machine, and a
# wineserver of this run kept warm so that each test starts in a fraction of
# a second. A server left by an earlier run may belong to an X display that
# is gone; it is stopped first. The first Windows program of a server also
# starts Wine's background services, which keep that program's output open:
# started under CTest, they would hold its pipe and the test would never end.
# So a first program runs here, with its output going nowhere (the tests
# themselves write into files, see cmake/wine-run.sh, for the processes Wine
# starts later on demand).
prepare_wine() {
    "$wineserver" -k >/dev/null 2>&1 || true
    if [ ! -d "${WINEPREFIX:-$HOME/.wine}/drive_c" ]; then
        # The server that makes a new prefix ends as soon as its last client
        # does (-p0), and a test that connects in that moment fails; it must
        # be gone before the kept one starts.
        "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
        "$wineserver" -k >/dev/null 2>&1 || true
        "$wineserver" -w >/dev/null 2>&1 || true
    fi
    "$wineserver" -p600 >/dev/null 2>&1 || true
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# The Linux builds must have the X11 window probe: without libxcb they fail
# at configure rather than leave the X11 tests out. In the sanitizer and
# Windows builds, where the target starts most slowly, the tests whose
# verdict involves real time run three times in a row: one that depends on
# machine load fails here rather than in some later run.
status=0
for preset in linux linux-asan linux-fuzz windows; do
    echo "== $preset: build"
    options=()
    if [ "$preset" != windows ]; then options=(-DPROCGUARD_REQUIRE_XCB=ON); fi
    cmake --preset "$preset" "${options[@]}" >/dev/null
    cmake --build --preset "$preset"
    echo "== $preset: test"
    if [ "$preset" = windows ]; then prepare_wine; fi
    if [ "$preset" = linux-asan ] || [ "$preset" = windows ]; then
        ctest --preset "$preset" -LE realtime || status=1
        ctest --preset "$preset" -L realtime --repeat until-fail:3 || status=1
    else
        ctest --preset "$preset" || status=1
    fi
done
exit $status
