#!/usr/bin/env bash
# korvane-cli against its yardsticks:
#   clean  a generated list of a million lines, beside awk '!seen[$0]++' on the same file (target: faster than awk);
#   check  10,000 fake proxies on 127.0.0.0/8 (bench_checker's "close" farm), 1,000 at once, 1 s batches
#          (targets: at most 10.5 s wall and 1.5 s CPU, every row "Working", no socket left open at the end).
# Usage: bench/run-cli.sh [build folder]   (default: build)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/korvane-cli
for program in "$cli" "$build/bench/bench_lists" "$build/bench/bench_checker"; do
    [[ -x $program ]] || { echo "build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
farm=
cleanup() {
    [[ -n $farm ]] && kill "$farm" 2>/dev/null && wait "$farm" 2>/dev/null
    rm -rf "$folder"
}
trap cleanup EXIT

echo "== clean: a million lines"
"$build/bench/bench_lists" generate "$folder/list.txt" 1000000 >/dev/null
/usr/bin/time -f "awk '!seen[\$0]++':   %e s elapsed, %M KB peak" awk '!seen[$0]++' "$folder/list.txt" >"$folder/awk.txt"
/usr/bin/time -f "korvane-cli clean: %e s elapsed, %M KB peak" "$cli" clean "$folder/list.txt" >"$folder/clean.txt"
echo "lines kept: $(wc -l <"$folder/clean.txt") (awk keeps $(wc -l <"$folder/awk.txt"), invalid lines included)"

echo "== check: 10,000 fake proxies, -n 1000 -t 1"
"$build/bench/bench_checker" --serve close 10000 >"$folder/farm.txt" &
farm=$!
for _ in $(seq 600); do grep -qx ready "$folder/farm.txt" && break; sleep 0.1; done
grep -v ready "$folder/farm.txt" >"$folder/proxies.txt"
# Results go into a pipe that is read only once the check has written into it: then every batch is over, and
# what the process holds open can be counted before it ends.
mkfifo "$folder/results"
start=$(date +%s%N)
"$cli" check -q -n 1000 -t 1 "$folder/proxies.txt" >"$folder/results" &
cli_pid=$!
exec 3<"$folder/results"
for _ in $(seq 3000); do
    # Blocked in write(1, ...): the results are on their way.
    [[ $(cut -d' ' -f1,2 "/proc/$cli_pid/syscall" 2>/dev/null) == "1 0x1" ]] && break
    sleep 0.005
done
end=$(date +%s%N)
read -r -a stat <"/proc/$cli_pid/stat"
ticks=$(getconf CLK_TCK)
sockets=$(find "/proc/$cli_pid/fd" -lname 'socket:*' | wc -l)
cat <&3 >"$folder/results.txt"
wait "$cli_pid"
echo "wall $(((end - start) / 1000000)) ms, CPU $(((stat[13] + stat[14]) * 1000 / ticks)) ms, sockets open at the end: $sockets"
echo "rows: $(wc -l <"$folder/results.txt"), Working with Y: $(grep -c $'\tWorking\tY$' "$folder/results.txt")"
