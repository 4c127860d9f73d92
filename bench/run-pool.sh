#!/usr/bin/env bash
# korvane-cli's pool against a hundred thousand dead proxies on 127.0.0.0/8, served by bench_checker --serve in
# child processes (each address's listener has a full backlog and never accepts: the kernel drops every SYN, and a
# silent proxy costs the farm no work):
#   silent  100,000 silent rows, -n 10000 -t 1. Targets: at most 12 s wall (the floor is 10 s), 3 s CPU, 300 MB peak,
#           every row "Timeout". Then the same with -n 1000, beside it (no target).
#   mixed   100,000 rows, -n 10000 -t 1: 90,000 refused at once, 9,000 silent and 1,000 working through a real
#           tinyproxy (HTTP) and microsocks (SOCKS 5) to an IP-echo server on 127.0.0.1. Target: every working row
#           "Working", every refused one "Error", every silent one "Timeout".
# Times and peaks are those of the whole process (the shell's time and /usr/bin/time). MB are 1,000,000 bytes.
# Usage: bench/run-pool.sh [build folder] [korvane-cli]   (default: build, and its korvane-cli; another korvane-cli,
# such as an older build's, is measured against the same farms). Exits with 1 when a target is missed.
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
# shellcheck source=bench/loopback.sh
source bench/loopback.sh
build=${1:-build}
cli=${2:-$build/cli/korvane-cli}
for program in "$cli" "$build/bench/bench_checker" /usr/bin/time microsocks tinyproxy python3; do
    command -v "$program" >/dev/null || { echo "build or install $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }; done
    rm -rf "$folder"
}
trap cleanup EXIT

# shellcheck source=bench/targets.sh
source bench/targets.sh

# farm SCENARIO ROWS: the fake proxies (the farm ends with this script, and after 30 minutes in any case); their
# rows into $folder/SCENARIO.txt.
farm() {
    "$build/bench/bench_checker" --serve "$1" "$2" >"$folder/$1.farm" &
    pids+=($!)
    for _ in $(seq 1200); do
        grep -qx ready "$folder/$1.farm" && break
        sleep 0.1
    done
    grep -qx ready "$folder/$1.farm" || { echo "the fake proxies did not start" >&2; exit 1; }
    if grep -q ':0$' "$folder/$1.farm"; then
        echo "$(grep -c ':0$' "$folder/$1.farm") fake proxies could not be set up" >&2
        exit 1
    fi
    grep -v ready "$folder/$1.farm" >"$folder/$1.txt"
}

# check FILE N: korvane-cli check -q -n N -t 1 of the rows; sets wall, cpu (s), peak (KB), status; prints them and the rows
# of each status, and leaves the results in $folder/results.tsv.
check() {
    local TIMEFORMAT='%3R' user system
    status=0
    { time /usr/bin/time -o "$folder/peak" -f '%U %S %M' "$cli" check -q -n "$2" -t 1 --no-echo-check \
        --echo-host "127.0.0.1:$echo_port" "$1" >"$folder/results.tsv" 2>"$folder/errors.txt" || status=$?; } \
        2>"$folder/time"
    wall=$(tail -n 1 "$folder/time")
    read -r user system peak < <(tail -n 1 "$folder/peak")
    cpu=$(awk "BEGIN { printf \"%.2f\", $user + $system }")
    printf '  -n %-5s %6.2f s wall, %5.2f s CPU (%s user, %s system), %4d MB peak, exit status %d\n' "$2" "$wall" \
        "$cpu" "$user" "$system" $((peak * 1024 / 1000000)) "$status"
    grep -v 'location database' "$folder/errors.txt" | sed 's/^/    /' | head -n 3 || true
    echo "    rows: $(cut -f 2 "$folder/results.tsv" | sort | uniq -c | awk '{ $1 = $1; print }' | paste -sd ,)"
}
count() { awk -F '\t' -v status="$1" '$2 == status' "$folder/results.tsv" | wc -l; }

echo_port=$(free_port)
echo_server "$echo_port"
pids+=($!)
wait_port "$echo_port"

echo "== silent: 100,000 rows whose proxies never accept ($cli)"
farm silent 100000
check "$folder/silent.txt" 10000
verdict "at most 12 s wall ($wall s)" "$(holds "$status == 0 && $wall <= 12")"
verdict "at most 3 s CPU ($cpu s)" "$(holds "$status == 0 && $cpu <= 3")"
verdict "at most 300 MB peak ($((peak * 1024 / 1000000)) MB)" "$(holds "$status == 0 && $peak * 1024 <= 300e6")"
verdict "every row \"Timeout\"" "$(holds "$(count Timeout) == 100000")"
check "$folder/silent.txt" 1000
kill "${pids[-1]}" && wait "${pids[-1]}" || true
unset 'pids[-1]'

socks_port=$(free_port)
microsocks -i 127.0.0.1 -p "$socks_port" >"$folder/microsocks.log" 2>&1 &
pids+=($!)
http_port=$(free_port)
tinyproxy_at "$http_port" "$folder" 1000
pids+=($!)
for port in "$socks_port" "$http_port"; do wait_port "$port"; done

echo "== mixed: 90,000 refused, 9,000 silent, 1,000 through tinyproxy and microsocks ($cli)"
farm dead 99000
# After every 99th row, a working one; what follows a second colon tells the rows through one proxy apart.
awk -v http="$http_port" -v socks="$socks_port" '{ print }
    NR % 99 == 0 { n++; print (n % 2 ? "127.0.0.1:" http ":" n : "socks5://127.0.0.1:" socks ":" n) }' \
    "$folder/dead.txt" >"$folder/mixed.txt"
check "$folder/mixed.txt" 10000
verdict "1000 rows \"Working\", 90000 \"Error\", 9000 \"Timeout\"" \
    "$(holds "$(count Working) == 1000 && $(count Error) == 90000 && $(count Timeout) == 9000")"
check "$folder/mixed.txt" 1000
exit "$missed"
