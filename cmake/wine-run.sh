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

# About one start in a thousand, Wine gives up before the program runs:
# address-space randomisation has put something where Wine maps its shared
# user data, and it ends with status 1 ("failed to map the shared user data",
# a line that WINEDEBUG=-all hides). So Wine runs without randomisation where
# the system allows it; the processes it starts for the program (the targets
# of a test) inherit that. Where it is refused, a failure without any output
# is started again, twice at most, and said on the error output: every
# program run here prints something (a test program its test names). A
# program that did print keeps its result, whatever it is.
fixed_layout=()
if setarch "$(uname -m)" -R true >/dev/null 2>&1; then fixed_layout=(setarch "$(uname -m)" -R); fi
run() {
    if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
        xvfb-run -a "${fixed_layout[@]}" "$wine" "$@"
    else
        "${fixed_layout[@]}" "$wine" "$@"
    fi
}
for attempt in 1 2 3; do
    status=0
    run "$@" >"$output" 2>&1 || status=$?
    if [ "$status" -eq 0 ] || [ -s "$output" ] || [ "$attempt" -eq 3 ]; then break; fi
    echo "wine-run: Wine ended with status $status before $1 printed anything; starting it again" >&2
done
cat "$output"
exit "$status"
