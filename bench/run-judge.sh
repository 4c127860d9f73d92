#!/usr/bin/env bash
# korvane-cli judge against nginx serving the same page as a static file with one worker, in the same run: ab asks
# each for 50,000 pages, 200 at once, one connection per page, on 127.0.0.1 (nothing leaves this computer).
# Targets: at least half of nginx's rate, and a peak of under 30 MB for the echo host.
# Usage: bench/run-judge.sh [build folder]   (default: build). Exits with 1 when a target is missed.
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
# shellcheck source=bench/loopback.sh
source bench/loopback.sh
build=${1:-build}
cli=$build/cli/korvane-cli
for program in "$cli" /usr/bin/ab /usr/sbin/nginx; do
    [[ -x $program ]] || { echo "$program is missing (build it, or run scripts/install-deps.sh)" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$folder"' EXIT

# rate PORT PATH: ab's requests per second; any failed request is a fault.
rate() {
    local report
    report=$(ab -q -r -n 50000 -c 200 "http://127.0.0.1:$1$2")
    grep -q '^Failed requests: *0$' <<<"$report" || { echo "$report" >&2; exit 1; }
    awk '/^Requests per second/ { print $4 }' <<<"$report"
}

judge_port=$(free_port)
"$cli" judge --listen "127.0.0.1:$judge_port" &
judge=$!
pids+=("$judge")
wait_port "$judge_port"

mkdir -p "$folder/www"
# The page as the echo host serves it to this very client: the same bytes for both servers.
python3 - "$judge_port" >"$folder/www/index.html" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(b"GET / HTTP/1.0\r\n\r\n")
data = b""
while chunk := s.recv(65536):
    data += chunk
sys.stdout.write(data.split(b"\r\n\r\n", 1)[1].decode())
PY
nginx_port=$(free_port)
cat >"$folder/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    server { listen 127.0.0.1:$nginx_port; root $folder/www; }
}
CONF
/usr/sbin/nginx -c "$folder/nginx.conf" -p "$folder" &
pids+=("$!")
wait_port "$nginx_port"

nginx_rate=$(rate "$nginx_port" /index.html)
judge_rate=$(rate "$judge_port" /)
peak_kb=$(awk '/^VmHWM/ { print $2 }' "/proc/$judge/status")
echo "nginx, one worker:     $nginx_rate requests/s"
echo "korvane-cli judge:     $judge_rate requests/s, peak $((peak_kb / 1000)) MB"

missed=0
if awk "BEGIN { exit !($judge_rate >= $nginx_rate / 2) }"; then
    echo "  target: at least half of nginx's rate: met"
else
    echo "  target: at least half of nginx's rate: MISSED"
    missed=1
fi
if ((peak_kb < 30000)); then
    echo "  target: a peak under 30 MB: met"
else
    echo "  target: a peak under 30 MB: MISSED"
    missed=1
fi
exit $missed
