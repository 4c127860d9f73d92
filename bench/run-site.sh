#!/usr/bin/env bash
# korvane-cli check --site through a real SOCKS 5 proxy to an HTTPS server on loopback: 1,000 rows through one
# microsocks, 200 at once, asking korvane-cli judge on 127.0.0.1 for the echo page, then nginx (one worker, TLS with
# a throwaway certificate authority) for the site's page. Once without --site, once with it.
# Targets: the site's probes add at most 2 ms of CPU per row to the echo check alone, and the check's peak stays under
# 60 MB. Usage: bench/run-site.sh [build folder]   (default: build). Exits with 1 when a target is missed.
set -euo pipefail
exec 2>&1
cd "$(dirname "$0")/.."
# shellcheck source=bench/loopback.sh
source bench/loopback.sh
build=${1:-build}
cli=$build/cli/korvane-cli
for program in "$cli" /usr/sbin/nginx /usr/bin/microsocks /usr/bin/openssl; do
    [[ -x $program ]] || { echo "install or build $program first" >&2; exit 1; }
done

folder=$(mktemp -d)
# Each check's history goes with the folder, never into the user's own.
export XDG_DATA_HOME=$folder
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && { wait "$pid" 2>/dev/null || true; }; done
    rm -rf "$folder"
}
trap cleanup EXIT

# A certificate authority of this run alone, and the server's certificate for 127.0.0.1 signed by it.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=bench-ca -keyout "$folder/ca.key" \
    -out "$folder/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$folder/site.key" -out "$folder/site.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >"$folder/san.ext"
openssl x509 -req -in "$folder/site.csr" -CA "$folder/ca.pem" -CAkey "$folder/ca.key" -CAcreateserial -days 1 \
    -extfile "$folder/san.ext" -out "$folder/site.pem" 2>/dev/null

# nginx's worker, nobody as root, reads the page.
chmod 755 "$folder"
mkdir -p "$folder/www"
printf '<html><body>the site answered: korvane-bench</body></html>\n' >"$folder/www/index.html"
site_port=$(free_port)
cat >"$folder/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    server {
        listen 127.0.0.1:$site_port ssl;
        ssl_certificate $folder/site.pem;
        ssl_certificate_key $folder/site.key;
        root $folder/www;
    }
}
CONF
/usr/sbin/nginx -c "$folder/nginx.conf" -p "$folder" &
pids+=("$!")

echo_port=$(free_port)
"$cli" judge --listen "127.0.0.1:$echo_port" &
pids+=("$!")
socks_port=$(free_port)
microsocks -i 127.0.0.1 -p "$socks_port" >"$folder/microsocks.log" 2>&1 &
pids+=("$!")
for port in "$site_port" "$echo_port" "$socks_port"; do wait_port "$port"; done

# korvane-cli keeps one row of each text; what follows a second colon tells the rows apart.
seq 1000 | sed "s|^|socks5://127.0.0.1:$socks_port:|" >"$folder/rows.txt"

# run NAME OPTIONS...: the check's wall time, CPU seconds and peak KB into $wall, $cpu and $peak, its rows into
# NAME.tsv, and its verdicts.
run() {
    local name=$1
    shift
    /usr/bin/time -o "$folder/time.txt" -f '%e %U %S %M' "$cli" check -q -n 200 -t 5 \
        --echo-host "127.0.0.1:$echo_port" "$@" "$folder/rows.txt" >"$folder/$name.tsv"
    local user system
    read -r wall user system peak < <(tail -n 1 "$folder/time.txt")
    cpu=$(awk "BEGIN { print $user + $system }")
    echo "== $name $*: wall $wall s, CPU $cpu s, peak $peak KB"
    cut -f2,7 "$folder/$name.tsv" | sort | uniq -c | sed 's/^/  /'
}
run echo-alone
echo_cpu=$cpu
run site --site "https://127.0.0.1:$site_port/" --cacert "$folder/ca.pem" --expect-text korvane-bench
ok=$(awk -F'\t' '$7 == "Site OK"' "$folder/site.tsv" | wc -l)

missed=0
per_row=$(awk "BEGIN { printf \"%.2f\", ($cpu - $echo_cpu) * 1000 / 1000 }")
target() { if "$2"; then echo "  target: $1: met"; else echo "  target: $1: MISSED"; missed=1; fi; }
target "every row Site OK ($ok of 1000)" "$( ((ok == 1000)) && echo true || echo false)"
target "at most 2 ms of CPU per row for the site ($per_row ms)" \
    "$(awk "BEGIN { print ($per_row <= 2) ? \"true\" : \"false\" }")"
target "peak under 60 MB ($((peak / 1024)) MB)" "$( ((peak < 60 * 1024)) && echo true || echo false)"
exit "$missed"
