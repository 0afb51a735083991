#!/usr/bin/env bash
# procguard.exe EXE on a Wine console (a pseudo-terminal made by script) with
# a config file watching TARGET: a key ends the start and the closing wait,
# and with --no-wait none is needed.   console_key_run.sh EXE TARGET FOLDER
set -u
exe=$1 target=$2 wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
rm -rf "$3" && mkdir -p "$3" && cd "$3" || exit 1
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
printf '[main]\nprocessName=%s\ncheckPeriod=100\n[finishCondition]\ntype=2\ndataInt=1\n' "$(windows "$target")" >run.ini
holds() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$1" 2>/dev/null | grep -qF "$2"; }
fail() { kill "$run"; echo "console_key_run: $*"; cat out.txt events.jsonl; exit 1; }
# Waits a minute for TEXT in FILE; "press" presses a key each second meanwhile.
await() {
    for i in $(seq 600); do holds "$2" "$3" && return 0; [ "$1$((i % 10))" = press1 ] && printf x >&3; sleep 0.1; done
    return 1
}
start() {
    rm -f out.txt events.jsonl keys && mkfifo keys && exec 3<>keys
    script -qfec "stty raw -echo; exec timeout 180 '$wine' '$(windows "$exe")' $*" /dev/null <keys >out.txt 2>&1 & run=$!
}
ended() { wait "$run" || fail "procguard.exe ended with status $?"; }

start --events events.jsonl run.ini
await wait out.txt "Ready to go." || fail "no start key prompt"
holds events.jsonl "surveillance started" && fail "the surveillance started without a key"
await press events.jsonl '"surveillance started"' || fail "no key ended the start key wait"
await wait out.txt "All done now." || fail "the run did not finish"
while kill -0 "$run" 2>/dev/null; do printf x >&3 && sleep 1; done
ended
start --no-wait --events events.jsonl run.ini
await wait events.jsonl '"finished"' || fail "--no-wait waited for a key"
ended
echo "console_key_run: passed"
