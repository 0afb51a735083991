#!/usr/bin/env bash
# Builds procguard and runs it on the bundled example config: it watches the
# demo target, restarts it whenever it has exited, passes the restart count
# in its arguments, and finishes after the third restart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target procguard demo-target >/dev/null
exec build/linux/procguard build/linux/examples/demo.ini
