#!/usr/bin/env bash
# The window loading a generated list of a million lines through "Load and replace current list", on the offscreen
# platform: bench_view load prints the rows, the CPU and wall time of the load and the resident memory after it,
# with their targets (at most 0.5 s of CPU, at most 100 MB resident after the load); /usr/bin/time adds the whole
# process's figures, start-up and exit included.
# Usage: bench/run-window.sh [build folder]   (default: build)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
for program in "$build/bench/bench_lists" "$build/bench/bench_view"; do
    [[ -x $program ]] || { echo "build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
file=$folder/proxies.txt
"$build/bench/bench_lists" generate "$file" 1000000

status=0
# With the Country column and without it: the column may cost at most 0.5 s more CPU and 60 MB more memory.
for country in "" --no-country; do
    echo "== the window: load and replace, a million lines ${country:-(with the Country column)}"
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$folder \
        /usr/bin/time -f "whole process: %e s elapsed, %U s user, %S s system, %M KB peak" \
        "$build/bench/bench_view" load "$file" ${country:+"$country"} || status=$?
done
exit "$status"
