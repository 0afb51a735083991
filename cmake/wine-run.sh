#!/usr/bin/env bash
# Runs a Windows test program under Wine, quietly. Tests that open windows
# need an X display: scripts/test.sh provides one; without it, a private
# Xvfb is started for this run.
export WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE:-/usr/lib/wine/wine64}
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a "$wine" "$@"
fi
exec "$wine" "$@"
