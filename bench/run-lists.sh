#!/usr/bin/env bash
# Runs the list benchmark on a generated file of a million lines and times awk's duplicate removal on the same
# file as a yardstick. Usage: bench/run-lists.sh [build folder]   (default: build)
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
bench=$build/bench/bench_lists
[[ -x $bench ]] || { echo "build $bench first" >&2; exit 1; }

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
file=$folder/proxies.txt
"$bench" generate "$file" 1000000

awk=$(readlink -f "$(command -v awk)")
echo "== $awk '!seen[\$0]++' on the same file"
/usr/bin/time -f "%e s elapsed, %M KB peak" awk '!seen[$0]++' "$file" >/dev/null

echo "== bench_lists"
/usr/bin/time -f "whole process: %e s elapsed, %M KB peak" "$bench" "$file"
