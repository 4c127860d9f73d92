#!/usr/bin/env bash
# korvane-cli beside its yardsticks, each scenario with its targets ("met" or "MISSED"):
#   clean  generated lists (bench_lists generate) of a million and of ten million lines, each beside
#          awk '!seen[$0]++' on the same file. Targets: a million lines in at most 0.35 x awk's wall time (the best
#          of three runs of each) with a peak of at most 100 MB; ten million (the best of two runs; awk once) in at
#          most 11 x the million-line time with a peak of at most 4 x the file's size.
#   check  10,000 fake proxies on 127.0.0.0/8 (bench_checker --serve, a child process), -n 1000 -t 1: the default
#          run beside the same with --batches, fixed batches, as the yardstick.
#            late   9,000 ports that refuse at once and, every tenth row, 1,000 proxies that answer 500 ms after the
#                   request. Targets: at most 2 s wall and 1 s CPU; the answering rows "Working", the others "Error".
#            close  10,000 proxies that answer and close at once. Targets: at most 1.5 s wall; every row "Working".
# Times and peaks are those of the whole process, start-up and exit included (the shell's time and /usr/bin/time);
# a check also shows when its results began to be written and how many sockets it still held then (from /proc).
# MB are 1,000,000 bytes.
# Usage: bench/run-cli.sh [build folder]   (default: build). Exits with 1 when a target is missed.
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/cli/korvane-cli
for program in "$cli" "$build/bench/bench_lists" "$build/bench/bench_checker" /usr/bin/time; do
    [[ -x $program ]] || { echo "build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
farm=
cleanup() {
    if [[ -n $farm ]]; then kill "$farm" 2>/dev/null && { wait "$farm" 2>/dev/null || true; }; fi
    rm -rf "$folder"
}
trap cleanup EXIT

# shellcheck source=bench/targets.sh
source bench/targets.sh

# timed OUTPUT COMMAND...: runs the command with its output into OUTPUT; sets wall and cpu (seconds) and peak (KB).
# The shell's own timing gives milliseconds (/usr/bin/time's %e only hundredths); /usr/bin/time gives the peak.
timed() {
    local output=$1 user system
    shift
    local TIMEFORMAT='%3R %3U %3S'
    { time /usr/bin/time -o "$folder/peak" -f '%M' "$@" >"$output"; } 2>"$folder/time"
    read -r wall user system < <(tail -n 1 "$folder/time")
    read -r peak < <(tail -n 1 "$folder/peak")
    cpu=$(awk "BEGIN { printf \"%.3f\", $user + $system }")
}

# clean_pair FILE RUNS AWK_RUNS: korvane-cli clean and awk on FILE, the fastest of RUNS and of AWK_RUNS runs, taking
# turns; sets kv_wall kv_cpu kv_peak kv_lines and awk_wall awk_cpu awk_peak awk_lines.
clean_pair() {
    local file=$1 runs=$2 awk_runs=$3
    kv_wall=
    awk_wall=
    for run in $(seq "$runs"); do
        timed "$folder/clean.txt" "$cli" clean "$file"
        if [[ -z $kv_wall ]] || (($(holds "$wall < $kv_wall"))); then
            kv_wall=$wall kv_cpu=$cpu kv_peak=$peak
        fi
        ((run <= awk_runs)) || continue
        timed "$folder/awk.txt" awk '!seen[$0]++' "$file"
        if [[ -z $awk_wall ]] || (($(holds "$wall < $awk_wall"))); then
            awk_wall=$wall awk_cpu=$cpu awk_peak=$peak
        fi
    done
    kv_lines=$(wc -l <"$folder/clean.txt")
    awk_lines=$(wc -l <"$folder/awk.txt")
    rm -f "$folder/clean.txt" "$folder/awk.txt"
    printf '  korvane-cli clean    %7.3f s wall, %7.3f s CPU, %8d KB peak, %8d lines kept\n' \
        "$kv_wall" "$kv_cpu" "$kv_peak" "$kv_lines"
    printf "  awk '!seen[\$0]++'    %7.3f s wall, %7.3f s CPU, %8d KB peak, %8d lines kept (invalid ones too)\n" \
        "$awk_wall" "$awk_cpu" "$awk_peak" "$awk_lines"
    printf '  korvane-cli / awk    %6.2f x the wall time, %5.2f x the peak\n' \
        "$(calc "$kv_wall / $awk_wall")" "$(calc "$kv_peak / $awk_peak")"
}

awk_name=$(readlink -f "$(command -v awk)")
million=$folder/million.txt
"$build/bench/bench_lists" generate "$million" 1000000
echo "== clean: a million lines, $(calc "$(stat -c %s "$million") / 1e6") MB; the best of 3 runs ($awk_name as awk)"
clean_pair "$million" 3 3
million_wall=$kv_wall
verdict "at most 0.35 x awk's wall time ($(calc "$kv_wall / $awk_wall") x)" "$(holds "$kv_wall <= 0.35 * $awk_wall")"
verdict "peak at most 100 MB ($(calc "$kv_peak * 1024 / 1e6") MB)" "$(holds "$kv_peak * 1024 <= 100e6")"
rm -f "$million"

ten=$folder/ten-million.txt
generate_start=$SECONDS
"$build/bench/bench_lists" generate "$ten" 10000000
size=$(stat -c %s "$ten")
echo "== clean: ten million lines, $(calc "$size / 1e6") MB (generated in $((SECONDS - generate_start)) s);" \
    "korvane-cli the best of 2 runs, awk one"
clean_pair "$ten" 2 1
verdict "at most 11 x the million-line time ($(calc "$kv_wall / $million_wall") x)" \
    "$(holds "$kv_wall <= 11 * $million_wall")"
verdict "peak at most 4 x the file's size ($(calc "$kv_peak * 1024 / $size") x)" \
    "$(holds "$kv_peak * 1024 <= 4 * $size")"
rm -f "$ten"

# The fake proxies, in a child process killed by its own id.
start_farm() {
    "$build/bench/bench_checker" --serve "$1" 10000 >"$folder/farm.txt" &
    farm=$!
    for _ in $(seq 600); do
        grep -qx ready "$folder/farm.txt" && break
        sleep 0.1
    done
    grep -qx ready "$folder/farm.txt" || { echo "the fake proxies did not start" >&2; exit 1; }
    grep -v ready "$folder/farm.txt" >"$folder/proxies.txt"
}
stop_farm() {
    kill "$farm"
    wait "$farm" || true
    farm=
}

# check_run EVERY [OPTION...]: korvane-cli check -q -n 1000 -t 1 of the farm's proxies, where row r (from 1) should
# be "Working" when r is a multiple of EVERY and "Error" otherwise. The fake proxies write the echo page themselves:
# no echo host is asked directly, and the one named is on loopback, so that no public name is ever looked up. Sets check_wall (s), check_cpu (s), check_right
# (1 when every row is as expected); prints the figures.
check_run() {
    local every=$1
    shift
    # The results go into a pipe that is read only once the check has begun to write into it: then every probe is
    # over, and what the process still holds open can be counted before it ends.
    rm -f "$folder/results"
    mkfifo "$folder/results"
    local start=${EPOCHREALTIME//[.,]/}
    /usr/bin/time -o "$folder/time" -f '%e %U %S %M' \
        "$cli" check -q -n 1000 -t 1 --no-echo-check --echo-host 127.0.0.1:9 "$@" "$folder/proxies.txt" \
        >"$folder/results" &
    local timer=$!
    exec 3<"$folder/results"
    local pid='' call='' first='' deadline=$((SECONDS + 120))
    while ((SECONDS < deadline)); do
        [[ -n $pid ]] || read -r pid _ 2>/dev/null <"/proc/$timer/task/$timer/children" || true
        if [[ -n $pid ]]; then
            read -r call first _ 2>/dev/null <"/proc/$pid/syscall" || break # gone already
            # Blocked in write(1, ...): the results are on their way.
            [[ $call == 1 && $first == 0x1 ]] && break
        fi
        sleep 0.005
    done
    local end=${EPOCHREALTIME//[.,]/} stat=() sockets=-
    if [[ -n $pid ]] && read -r -a stat 2>/dev/null <"/proc/$pid/stat"; then
        sockets=$(find "/proc/$pid/fd" -lname 'socket:*' 2>/dev/null | wc -l)
    fi
    cat <&3 >"$folder/results.txt"
    exec 3<&-
    local status=0 user system peak
    wait "$timer" || status=$?
    read -r check_wall user system peak < <(tail -n 1 "$folder/time")
    check_cpu=$(calc "$user + $system")
    local ticks
    ticks=$(getconf CLK_TCK)
    printf '    whole process %6.2f s wall, %5.2f s CPU, %7d KB peak, exit status %d\n' \
        "$check_wall" "$check_cpu" "$peak" "$status"
    if ((${#stat[@]} > 14)); then
        printf '    results began after %d ms wall, %d ms CPU; sockets still open then: %s\n' \
            $(((end - start) / 1000)) $(((stat[13] + stat[14]) * 1000 / ticks)) "$sockets"
    fi
    # By the row's place in the list: what it got, whether it is what it should get.
    local counts
    counts=$(awk -F '\t' -v every="$every" '
        NR == FNR { should[$0] = FNR % every == 0 ? "Working" : "Error"; rows++; next }
        { got[$2]++; if (should[$1] == $2) right++; if ($2 == "Working" && $3 == "Y") anonymous++ }
        END {
            for (status in got) line = line sprintf("%d %s, ", got[status], status)
            printf "%s%d of them Working with Y; %d of %d rows as expected\n", line, anonymous, right, rows
            exit right != rows
        }' "$folder/proxies.txt" "$folder/results.txt") && check_right=1 || check_right=0
    echo "    rows: $counts"
}

help=$("$cli" --help 2>&1 || true)
yardstick=(--batches)
if [[ $help != *--batches* ]]; then
    echo "== note: this korvane-cli has no --batches option: the yardstick runs are run without it, as the default"
    yardstick=()
fi

# check_scenario FARM EVERY TITLE WALL CPU: the default run against its targets (CPU none when empty), then the
# yardstick.
check_scenario() {
    local scenario=$1 every=$2 title=$3 wall_target=$4 cpu_target=$5
    echo "== check $scenario: $title; -n 1000 -t 1"
    start_farm "$scenario"
    echo "  korvane-cli check (the default)"
    check_run "$every"
    local wall=$check_wall cpu=$check_cpu right=$check_right
    echo "  korvane-cli check ${yardstick[*]:-(no --batches)} (the yardstick)"
    check_run "$every" "${yardstick[@]}"
    stop_farm
    verdict "at most $wall_target s wall (${wall} s; ${yardstick[*]:-the yardstick} ${check_wall} s)" \
        "$(holds "$wall <= $wall_target")"
    if [[ -n $cpu_target ]]; then
        verdict "at most $cpu_target s CPU (${cpu} s; ${yardstick[*]:-the yardstick} ${check_cpu} s)" \
            "$(holds "$cpu <= $cpu_target")"
    fi
    local rule="every row \"Working\""
    ((every == 1)) || rule="the answering rows \"Working\", the refusing ones \"Error\""
    verdict "$rule" "$right"
}

check_scenario late 10 "10,000 fake proxies, 9,000 refusing at once, every tenth answering after 500 ms" 2 1
check_scenario close 1 "10,000 fake proxies answering at once" 1.5 ""
exit "$missed"
