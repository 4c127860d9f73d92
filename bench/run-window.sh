#!/usr/bin/env bash
# The window loading generated lists through "Load and replace current list", on the offscreen platform:
#   - a million lines, with the Country column and without it: bench_view load prints the rows, the CPU and wall time
#     of the load and the resident memory after it, with their targets (at most 0.5 s of CPU, at most 100 MB resident
#     after the load), and the country passes;
#   - a list just under the window's cap of 1 GiB, read from a cold disk when the page cache may be dropped (as root;
#     else said so), its second half merged into its first ("Load and merge"), and the million lines from a pipe
#     whose writer gives 64 KiB every 20 ms: the target is the longest gap between two passes of the window's event
#     loop while the list is read and goes in, at most 50 ms.
# /usr/bin/time adds the whole process's figures, start-up and exit included.
# Usage: bench/run-window.sh [build folder]   (default: build)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
for program in "$build/bench/bench_lists" "$build/bench/bench_view"; do
    [[ -x $program ]] || { echo "build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
writer=
cleanup() {
    if [[ -n $writer ]]; then kill "$writer" 2>/dev/null && { wait "$writer" 2>/dev/null || true; }; fi
    rm -rf "$folder"
}
trap cleanup EXIT
file=$folder/proxies.txt
"$build/bench/bench_lists" generate "$file" 1000000

status=0
# window FILE [OPTION...]: bench_view load FILE with the options.
window() {
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$folder \
        /usr/bin/time -f "whole process: %e s elapsed, %U s user, %S s system, %M KB peak" \
        "$build/bench/bench_view" load "$@" || status=1
}

# With the Country column and without it: the column may cost at most 0.5 s more CPU and 60 MB more memory.
for country in "" --no-country; do
    echo "== the window: load and replace, a million lines ${country:-(with the Country column)}"
    window "$file" ${country:+"$country"}
done

# As many lines as fit under the cap, at the million's mean length.
large=$folder/large.txt
lines=$(($(wc -l <"$file") * (1 << 30) / $(stat -c %s "$file") * 98 / 100))
"$build/bench/bench_lists" generate "$large" "$lines"
sync
if echo 3 2>/dev/null >/proc/sys/vm/drop_caches; then
    cache="cold: the page cache dropped"
else
    cache="the page cache could not be dropped (no write to /proc/sys/vm/drop_caches): the file may be read from memory"
fi
echo "== the window: load and replace, $(($(stat -c %s "$large") >> 20)) MiB, $lines lines; $cache"
window "$large" 0 --no-country

# Its two halves, the second merged into the first: the list's own rows stay, the new ones go after them.
first=$folder/first.txt second=$folder/second.txt
head -n "$((lines / 2))" "$large" >"$first"
tail -n "+$((lines / 2 + 1))" "$large" >"$second"
rm -f "$large"
echo "== the window: load and merge, $(($(stat -c %s "$second") >> 20)) MiB into a list of $(($(stat -c %s "$first") >> 20)) MiB"
window "$second" 0 --no-country --into "$first"
rm -f "$first" "$second"

echo "== the window: load and replace, a million lines from a pipe, 64 KiB every 20 ms"
mkfifo "$folder/pipe"
python3 -c '
import sys, time
with open(sys.argv[1], "rb") as source, open(sys.argv[2], "wb", buffering=0) as pipe:
    while piece := source.read(65536):
        pipe.write(piece)
        time.sleep(0.02)
' "$file" "$folder/pipe" &
writer=$!
window "$folder/pipe" 0 --no-country
wait "$writer" || true
writer=
exit "$status"
