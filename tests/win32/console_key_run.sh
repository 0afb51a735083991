#!/usr/bin/env bash
# procguard.exe at a real Wine console: under a pseudo-terminal, as a user
# runs it from a terminal, with the config file named on the command line.
#   console_key_run.sh PROCGUARD_EXE TARGET_EXE WORK_FOLDER
# The start key and the closing key each end their wait, although the
# program read no console input before them; with --no-wait no key is
# needed. Wine's console reads the terminal only for a program that waits
# for console input or reads it: a key wait that only polled would never
# see the key. Each step waits for what it needs, within a minute.
set -u
exe=$1 target=$2 work=$3
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=${WINEDEBUG:--all}
limit=60

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
printf '[main]\r\nprocessName=%s\r\ncheckPeriod=100\r\nresponseTimeout=1000\r\nvariables=0\r\n[finishCondition]\r\ntype=2\r\ndataInt=1\r\n' \
    "$(windows "$target")" >run.ini

fail() {
    # Without its terminal the run ends too.
    kill "$run" 2>/dev/null
    echo "console_key_run: $*"
    echo "--- console output:"
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' out.txt 2>/dev/null | tr -d '\r'
    echo "--- events:"
    cat events.jsonl 2>/dev/null
    exit 1
}
# Whether `file` holds `text` (escapes and carriage returns left out).
holds() { sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$1" 2>/dev/null | tr -d '\r' | grep -qF "$2"; }
waitFor() {
    for _ in $(seq $((limit * 10))); do
        holds "$1" "$2" && return 0
        sleep 0.1
    done
    return 1
}
# Presses a key until `file` holds `text`: a key that comes before the wait
# has begun is dropped, as keys typed ahead are, and is pressed again.
pressUntil() {
    for _ in $(seq $limit); do
        printf 'x' >&3
        for _ in $(seq 10); do
            holds "$1" "$2" && return 0
            sleep 0.1
        done
    done
    return 1
}

# Starts procguard.exe with `$@` on a fresh terminal in raw mode, its keys
# coming from the pipe on descriptor 3. The terminal ends it after twice
# the limit in any case, so that no run outlives the test.
start() {
    rm -f out.txt events.jsonl keys && mkfifo keys
    exec 3<>keys
    script -qfec "stty raw -echo; exec timeout $((limit * 2)) '$wine' '$(windows "$exe")' $*" /dev/null \
        <keys >out.txt 2>&1 &
    run=$!
}
# Waits for the run to end and checks its exit status.
finish() {
    local status=0
    wait "$run" || status=$?
    exec 3>&-
    [ "$status" -eq 0 ] || fail "procguard.exe ended with status $status"
}

start --events events.jsonl run.ini
waitFor out.txt "Ready to go. Press any key to start process surveillance." || fail "no start key prompt"
holds events.jsonl '"surveillance started"' && fail "the surveillance started without a key"
pressUntil events.jsonl '"event":"surveillance started"' || fail "no key ended the start key wait"
waitFor out.txt "All done now. Press any key to exit..." || fail "the run did not finish"
# The closing wait, pressed for until the run has ended.
for _ in $(seq $limit); do
    kill -0 "$run" 2>/dev/null || break
    printf 'x' >&3
    for _ in $(seq 10); do kill -0 "$run" 2>/dev/null && sleep 0.1; done
done
finish

start --no-wait --events events.jsonl run.ini
waitFor events.jsonl '"event":"finished"' || fail "--no-wait still waited"
finish
echo "console_key_run: both runs passed"
