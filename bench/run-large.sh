#!/usr/bin/env bash
# Lists of any size and shape, each scenario with its targets ("met" or "MISSED"):
#   clean  korvane-cli clean of a GiB of NUL bytes, one line that fails the line test: from a file (sparse, so
#          nothing is written to the disk), from standard input, and from /dev/zero, which never ends, for 10 s.
#          Target: a peak of at most 64 MB each, the line's bytes not kept while the rest of it is read.
#   window "Load and replace" of the same file in the window (bench_view load, offscreen). Targets: at most 0.5 s
#          from the menu item to the painted view, the longest the window cannot answer; a peak at most 100 MB above
#          the window before the load (the table stays empty).
#   row    korvane-cli check --json of one row of 100 MB (a port on 127.0.0.1 that refuses, the echo host on
#          127.0.0.1: nothing leaves this computer). Target: a peak of at most 3 x the row; clean of the same row is
#          shown beside it, the loader's own share.
# Peaks are those of the whole process (/usr/bin/time); MB are 1,000,000 bytes.
# Usage: bench/run-large.sh [build folder]   (default: build). Exits with 1 when a target is missed.
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/korvane-cli
view=$build/bench/bench_view
for program in "$cli" "$view" /usr/bin/time; do
    [[ -x $program ]] || { echo "build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
trap 'rm -rf "$folder"' EXIT

# shellcheck source=bench/targets.sh
source bench/targets.sh

# peak_of COMMAND...: runs the command, its output thrown away, and sets peak (KB) and wall (s); its exit status is
# not held against it (a command stopped by timeout ends with 124).
peak_of() {
    /usr/bin/time -o "$folder/time" -f '%M %e' "$@" >/dev/null || true
    read -r peak wall < <(tail -n 1 "$folder/time")
}

nul=$folder/nul.txt
truncate -s 1G "$nul"

echo "== clean: a GiB of NUL bytes, one line"
peak_of "$cli" clean "$nul"
echo "  from a file:        $wall s, peak $((peak / 1000)) MB"
verdict "file, peak at most 64 MB" "$(holds "$peak * 1024 <= 64e6")"
peak_of "$cli" clean < <(head -c 1G /dev/zero)
echo "  from standard input: $wall s, peak $((peak / 1000)) MB"
verdict "standard input, peak at most 64 MB" "$(holds "$peak * 1024 <= 64e6")"
peak_of timeout 10 "$cli" clean /dev/zero
echo "  /dev/zero for 10 s:  peak $((peak / 1000)) MB"
verdict "/dev/zero, peak at most 64 MB" "$(holds "$peak * 1024 <= 64e6")"

echo "== window: load and replace of the same file"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$folder "$view" load "$nul" >"$folder/view" || true
grep -E '^(load|memory) ' "$folder/view"
seconds=$(sed -n 's/^load .* CPU, \([0-9.]*\) s wall.*/\1/p' "$folder/view")
read -r empty top < <(sed -n 's/.*shown and empty \([0-9.]*\) MB.*peak of the process \([0-9.]*\) MB.*/\1 \2/p' \
    "$folder/view")
verdict "the window answers again within 0.5 s" "$(holds "${seconds:-99} <= 0.5")"
verdict "peak at most 100 MB above the window before the load" "$(holds "${top:-1e9} - ${empty:-0} <= 100")"

echo "== row: check --json of one row of 100 MB"
row=$folder/row.txt
{ printf '127.0.0.1:9:'; head -c 100000000 /dev/zero | tr '\0' x; echo; } >"$row"
size=$(stat -c %s "$row")
peak_of "$cli" clean "$row"
echo "  clean:        $wall s, peak $((peak / 1000)) MB ($(awk "BEGIN { printf \"%.2f\", $peak * 1024 / $size }") x the row)"
peak_of "$cli" check --json -q -t 1 --no-echo-check --echo-host 127.0.0.1 "$row"
echo "  check --json: $wall s, peak $((peak / 1000)) MB ($(awk "BEGIN { printf \"%.2f\", $peak * 1024 / $size }") x the row)"
verdict "check --json, peak at most 3 x the row" "$(holds "$peak * 1024 <= 3 * $size")"
exit "$missed"
