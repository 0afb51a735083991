#!/usr/bin/env bash
# Installs the Debian packages procguard needs, only those that are missing.
#   scripts/install-deps.sh run    what building and running the watchdog needs
#   scripts/install-deps.sh bench  what the benchmarks need
#   scripts/install-deps.sh test   everything the full test command needs
set -euo pipefail

run_packages=(cmake make g++ googletest libcap-dev libcurl4-openssl-dev)
test_packages=("${run_packages[@]}"
    libgtest-dev libbenchmark-dev libcap2-bin util-linux procps
    clang libclang-rt-14-dev libxcb1-dev
    g++-mingw-w64-x86-64-posix wine64 xvfb xauth lintian)

case "${1:-test}" in
    run) wanted=("${run_packages[@]}") ;;
    bench) wanted=("${run_packages[@]}" libbenchmark-dev libxcb1-dev xvfb g++-mingw-w64-x86-64-posix wine64) ;;
    test) wanted=("${test_packages[@]}") ;;
    *) echo "usage: $0 [run|bench|test]" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "== installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
