#!/usr/bin/env bash
# korvane-cli's check through real proxy servers on loopback: 1,000 rows through one microsocks (SOCKS 5) and
# 1,000 through one tinyproxy (HTTP), 200 at once with 1 s each, all asking a threaded IP-echo server on 127.0.0.1:
# in korvane-cli's pool, then in the window's batches (--batches).
# Prints for each list: wall seconds, user + system CPU seconds, peak KB, the rows of each status, and the median
# and 90th percentile (nearest rank) of the milliseconds of the working rows.
# Usage: bench/run-protocols.sh [build folder]   (default: build)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
# shellcheck source=bench/loopback.sh
source bench/loopback.sh
build=${1:-build}
cli=$build/cli/korvane-cli
[[ -x $cli ]] || { echo "build $cli first" >&2; exit 1; }
for program in microsocks tinyproxy python3; do
    command -v "$program" >/dev/null || { echo "install $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
pids=()
check=
cleanup() {
    for pid in $check "${pids[@]}"; do kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }; done
    rm -rf "$folder"
}
trap cleanup EXIT

echo_port=$(free_port)
echo_server "$echo_port"
pids+=($!)

socks_port=$(free_port)
microsocks -i 127.0.0.1 -p "$socks_port" >"$folder/microsocks.log" 2>&1 &
pids+=($!)

# More clients than the 200 of a batch.
http_port=$(free_port)
tinyproxy_at "$http_port" "$folder" 300
pids+=($!)

for port in "$echo_port" "$socks_port" "$http_port"; do wait_port "$port"; done

# korvane-cli keeps one row of each text; what follows a second colon tells the rows apart.
seq 1000 | sed "s|^|socks5://127.0.0.1:$socks_port:|" >"$folder/microsocks.txt"
seq 1000 | sed "s|^|127.0.0.1:$http_port:|" >"$folder/tinyproxy.txt"

for mode in pool batches; do
    for server in microsocks tinyproxy; do
        echo "== $server: 1,000 rows, -n 200 -t 1, $mode"
        options=(-q -n 200 -t 1 --echo-host "127.0.0.1:$echo_port")
        [[ $mode == batches ]] && options+=(--batches)
        # Past 2 minutes timeout's SIGINT ends the check after the probes under way, with its results (time ignores
        # SIGINT); timeout hands the SIGTERM of cleanup to time and the check alike.
        timeout -s INT 120 /usr/bin/time -o "$folder/time.txt" -f '%e %U %S %M' \
            "$cli" check "${options[@]}" "$folder/$server.txt" >"$folder/$server.tsv" &
        check=$!
        status=0
        wait "$check" || status=$?
        check=
        read -r wall user system peak < <(tail -n 1 "$folder/time.txt")
        echo "exit $status, wall $wall s, CPU $(awk "BEGIN { print $user + $system }") s, peak $peak KB"
        for kind in Working 'Invalid Response' Error Timeout; do
            echo "  $kind: $(awk -F'\t' -v kind="$kind" '$2 == kind' "$folder/$server.tsv" | wc -l)"
        done
        awk -F'\t' '$2 == "Working" { print $4 }' "$folder/$server.tsv" | sort -n | awk '{ ms[NR] = $1 } END {
            if (NR) print "  Working ms: median " ms[int((NR + 1) / 2)] ", 90th percentile " ms[int((NR * 9 + 9) / 10)] }'
    done
done
