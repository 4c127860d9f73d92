#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, then runs each for a
# bounded time. Usage: bench/fuzz/run-fuzz.sh [seconds per target, default 60] [build folder, default build-fuzz]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
build=${2:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKORVANE_FUZZ=ON -DKORVANE_SANITIZE=ON -DKORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_loader

corpus=$build/fuzz-corpus/loader
mkdir -p "$corpus"
# Seeds: a file list with CR LF and lone CR breaks, and the same as UTF-16 clipboard text (route byte 4).
printf '\x00 1.2.3.4:80\r\n5.6.7.8:&H50:x\r9.9.9.9:(1,080)\n' >"$corpus/file-seed"
printf '\x04' >"$corpus/clipboard-seed"
printf '1.2.3.4:80\r\n010.0.0.1:$8e1\r\n' | iconv -f ASCII -t UTF-16LE >>"$corpus/clipboard-seed"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$build/bench/fuzz/fuzz_loader" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$corpus"
