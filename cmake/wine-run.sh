#!/usr/bin/env bash
# Runs a Windows test program under Wine, quietly. Tests that open windows
# need an X display: scripts/test.sh provides one; without it, a private
# Xvfb is started for this run.
#
# The program writes into a file, which is shown once it has ended. Wine
# starts some processes on demand (its desktop process, a console host for a
# console program started without one) that outlive the program and keep
# what it had open: were that CTest's pipe, CTest would wait for them to
# end, long after the test itself has.
export WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE:-/usr/lib/wine/wine64}
output=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$output"' EXIT
status=0
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a "$wine" "$@" >"$output" 2>&1 || status=$?
else
    "$wine" "$@" >"$output" 2>&1 || status=$?
fi
cat "$output"
exit "$status"
