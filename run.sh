#!/usr/bin/env bash
# Installs what is missing, builds Korvane and starts it.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target korvane

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found: starting Korvane under Xvfb."
    exec xvfb-run -a -s "-screen 0 1280x800x24" ./build/app/korvane "$@"
fi
exec ./build/app/korvane "$@"
